// The page every backup carries: index.html, which reads its data from data.js beside it and
// browses it offline, a page at a time, so a hundred thousand messages open quickly.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace zentro::cli {

// The static page; it has no links outside the backup folder.
const std::string& backupPageHtml();

// data.js: the data as one script assignment (window.BACKUP_DATA). Keys the page reads: phone
// (serial, brand, model, androidVersion), date (UTC, ISO 8601), complete and missing (as in the
// manifest; a page served over HTTP reads manifest.json when they are absent), messages (rows
// date, type, address, body, read), conversations ({address, messages: row indexes}), calls
// (rows date, type, number, name, duration), contacts (rows first name, last name, mobile, home,
// work, e-mail, organisation), events (rows start ms, end ms, title, location), apps (the
// objects of apps.json), photos/music/videos ({file, size, thumb, folder}; folder defaults to
// the file's sub-folder). Any key may be missing or malformed; the page shows what it can.
std::string backupPageScript(const nlohmann::ordered_json& data);

} // namespace zentro::cli
