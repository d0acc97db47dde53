// The HTTP side of zentro ui: loopback only, one token, the page's files and the JSON API.
#pragma once

#include <memory>
#include <string>

namespace zentro::ui {

struct ServerOptions {
    int port = 0;                  // 0: a free one
    std::string privateFolder;     // uploads and downloads pass through here (mode 0700)
    size_t maxUpload = 4ull << 30; // bytes
};

class Server {
public:
    explicit Server(const ServerOptions& options);
    ~Server();
    // Binds 127.0.0.1; the port, or -1.
    int bind();
    // The address to open, with the one-time token.
    std::string url() const;
    // Serves until stop() (from another thread).
    void serve();
    void stop();

    struct State; // public so the library's callbacks can reach it

private:
    std::unique_ptr<State> state_;
};

} // namespace zentro::ui
