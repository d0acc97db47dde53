// zentro ui: the phone manager in a browser, served on this computer only.
#pragma once

namespace CLI {
class App;
} // namespace CLI

namespace zentro::ui {

void addUiCommand(CLI::App& app);

} // namespace zentro::ui
