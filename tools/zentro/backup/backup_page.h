// The page every backup carries: index.html, which reads its data from data.js beside it and
// browses it offline, a page at a time, so a hundred thousand messages open quickly.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace zentro::cli {

// The static page; it has no links outside the backup folder.
const std::string& backupPageHtml();

// data.js: the data as one script assignment (window.BACKUP_DATA). Expected keys: phone, date,
// messages (rows date, type, address, body, read), conversations ({address, messages: row
// indexes}), calls, contacts, events (rows), photos/music/videos ({file, size, thumb}).
std::string backupPageScript(const nlohmann::ordered_json& data);

} // namespace zentro::cli
