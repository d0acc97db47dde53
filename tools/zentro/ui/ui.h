// zentro ui: the phone manager in a browser, served on this computer only.
//
// The server (HTTP, TLS library, compression) lives in its own module, zentro-ui.so, which the
// CLI loads only when this command runs: linked into zentro, those libraries' start-up would be
// paid by every command. The module resolves the CLI's own functions (session, interrupts,
// records) from the zentro executable, which exports them for it.
#pragma once

namespace CLI {
class App;
} // namespace CLI

namespace zentro::ui {

void addUiCommand(CLI::App& app);

} // namespace zentro::ui

// The module's whole interface. zentro_ui_run throws cli::Failure as any command does.
extern "C" {
__attribute__((visibility("default"))) extern const char zentro_ui_version[]; // its ZENTRO_VERSION
__attribute__((visibility("default"))) void zentro_ui_run(int port, bool noBrowser);
}
