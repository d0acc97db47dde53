// Temporary groupings over the record lists: the messages by conversation and the call-log
// entries by number. Groups and member links belong to this module (one process-wide grouping
// of each kind, replaced wholesale by the next rebuild); the records they point at belong to
// the lists. A grouping must not be read once its source list was freed.
#pragma once

#include "zentrolink.h"

namespace zentro::records {

// Frees the previous message grouping and groups the list from `head` in its current order.
// A message joins the first group, in list order, whose most recently joined member shares
// its thread id or else its address (both present, equal byte for byte); a joining message
// goes to the front of the group's chain; a message no group takes founds a group at the
// front of the list. Groups end newest first by the latest date key of their members (a
// missing or empty DATE counts as 0), in the order the exchange pass of date_sort.h leaves.
// A record whose link or group cannot be allocated is left out. Returns the new head (null for
// an empty list, or when memory for the index cannot be had).
SmsTempGroup* rebuildMessageGroups(SmsRecord* head);

// Frees the previous call grouping and groups the entries from `head` by phone number: an
// entry joins the group whose first entry has the same number (both present, byte for byte),
// at the end of its chain; otherwise it founds a group at the front. Not sorted. Returns the new
// head (null for an empty list).
CallLogTempGroup* rebuildCallGroups(CallHistoryRecord* head);

// The current heads (null when nothing is built).
SmsTempGroup* messageGroups();
CallLogTempGroup* callGroups();

} // namespace zentro::records
