#include "ui/server.h"

#include <fcntl.h>
#include <unistd.h>

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include <httplib.h>

#include "adb_server.h"
#include "cli.h"
#include "formats/safe_text.h"
#include "ui/assets.h"
#include "ui/phone.h"
#include "ui/worker.h"
#include "zentrolink.h"

namespace zentro::ui {
namespace {

using httplib::Request;
using httplib::Response;

constexpr size_t kMaxJsonBody = 1 << 20;

// Every response: nothing runs but the page's own scripts, nothing is framed, cached or sniffed.
const httplib::Headers kSecurityHeaders = {
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
     "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cross-Origin-Opener-Policy", "same-origin"},
    {"Cross-Origin-Resource-Policy", "same-origin"},
    {"Cache-Control", "no-store"},
};

std::string randomToken() {
    unsigned char bytes[24];
    if (RAND_bytes(bytes, sizeof bytes) != 1) throw cli::Failure("no random numbers for the access token");
    static const char hex[] = "0123456789abcdef";
    std::string token;
    for (unsigned char b : bytes) {
        token += hex[b >> 4];
        token += hex[b & 15];
    }
    return token;
}

bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string cookieValue(const Request& req, const std::string& name) {
    const std::string cookies = req.get_header_value("Cookie");
    size_t at = 0;
    while (at < cookies.size()) {
        size_t end = cookies.find(';', at);
        if (end == std::string::npos) end = cookies.size();
        std::string pair = cookies.substr(at, end - at);
        pair.erase(0, pair.find_first_not_of(' '));
        if (pair.rfind(name + "=", 0) == 0) return pair.substr(name.size() + 1);
        at = end + 1;
    }
    return "";
}

const char* typeOf(const std::string& path) {
    const std::string ext = path.substr(path.rfind('.') + 1);
    if (ext == "html") return "text/html; charset=utf-8";
    if (ext == "js") return "text/javascript; charset=utf-8";
    if (ext == "css") return "text/css; charset=utf-8";
    if (ext == "svg") return "image/svg+xml";
    return "application/octet-stream";
}

void sendJson(Response& res, const json& body, int status = 200) {
    res.status = status;
    res.set_content(cli::jsonText(body), "application/json; charset=utf-8");
}

void sendError(Response& res, int status, const std::string& message) {
    sendJson(res, {{"error", message}}, status);
}

size_t number(const Request& req, const char* name, size_t fallback, size_t most) {
    const std::string text = req.get_param_value(name);
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return fallback;
    return std::min<size_t>(std::stoul(text), most);
}

Slice sliceOf(const Request& req) {
    return {number(req, "offset", 0, 1u << 30), number(req, "limit", 100, 500)};
}

// The announced body size; a malformed one counts as too large.
uint64_t contentLength(const Request& req) {
    const std::string text = req.get_header_value("Content-Length");
    if (text.empty()) return 0;
    if (text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return UINT64_MAX;
    return std::stoull(text);
}

int deviceOf(const Request& req) { return std::stoi(req.matches[1].str()); }

// An item id from the address; one that does not fit is no item of the phone's.
int32_t idOf(const Request& req) {
    const std::string text = req.matches[3].str();
    if (text.size() > 10) throw ApiError(404, "no such item");
    const long long id = std::stoll(text);
    if (id < INT32_MIN || id > INT32_MAX) throw ApiError(404, "no such item");
    return static_cast<int32_t>(id);
}

std::string percentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string percentEncoded(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '.' || c == '-' || c == '_') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// Sends a file of the private folder as an attachment and removes it once sent.
void sendFile(Response& res, const std::string& path, const std::string& name, const char* type) {
    auto in = std::make_shared<std::ifstream>(path, std::ios::binary);
    const auto size = static_cast<size_t>(std::filesystem::file_size(path));
    std::string ascii;
    for (char c : name) ascii += (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') ? c : '_';
    res.set_header("Content-Disposition",
                   "attachment; filename=\"" + ascii + "\"; filename*=UTF-8''" + percentEncoded(name));
    res.set_content_provider(
        size, type,
        [in](size_t offset, size_t length, httplib::DataSink& sink) {
            std::vector<char> buffer(std::min<size_t>(length, 1 << 16));
            in->seekg(static_cast<std::streamoff>(offset));
            in->read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            return in->gcount() > 0 && sink.write(buffer.data(), static_cast<size_t>(in->gcount()));
        },
        [path](bool) { std::remove(path.c_str()); });
}

// Where backups go: <documents>/zentro-backups, the documents folder as the library finds it.
std::string backupsFolder() {
    const char* documents = std::getenv("XDG_DOCUMENTS_DIR");
    const char* home = std::getenv("HOME");
    const std::string base = documents != nullptr && documents[0] != '\0'
                                 ? documents
                                 : std::string(home != nullptr ? home : "/tmp") + "/Documents";
    return base + "/zentro-backups";
}

// The backups a restore may start from: folders directly under backupsFolder() that hold a
// manifest, newest name first. The manifest is only read for what the list shows.
json backupList() {
    namespace fs = std::filesystem;
    std::vector<json> found;
    std::error_code error;
    for (fs::directory_iterator it(backupsFolder(), error), end; !error && it != end; it.increment(error)) {
        if (!it->is_directory(error) || it->is_symlink(error) || found.size() >= 500) continue;
        const fs::path manifest = it->path() / "manifest.json";
        if (fs::file_size(manifest, error) > (64u << 20) || error) {
            error.clear();
            continue;
        }
        std::ifstream in(manifest, std::ios::binary);
        const json m = json::parse(in, nullptr, false);
        if (!m.is_object()) continue;
        const json phone = m.value("phone", json::object());
        found.push_back({{"name", it->path().filename().string()},
                         {"date", m.value("date", json(nullptr))},
                         {"model", phone.is_object() ? phone.value("model", json(nullptr)) : json(nullptr)},
                         {"complete", m.value("complete", false)}});
    }
    std::sort(found.begin(), found.end(), [](const json& a, const json& b) {
        return a["name"].get<std::string>() > b["name"].get<std::string>();
    });
    return {{"folder", backupsFolder()}, {"backups", found}};
}

} // namespace

struct Server::State {
    explicit State(const ServerOptions& o)
        : options(o)
        , data(hub, o.privateFolder) {}

    ServerOptions options;
    httplib::Server http;
    EventHub hub;
    PhoneData data;
    Worker worker;
    std::string token = randomToken();
    int port = -1;
    std::atomic<uint64_t> uploadCounter{0};
    std::atomic<bool> stopped{false};

    std::mutex watchMutex;
    std::condition_variable watchWake;
    bool stopping = false;
    bool kick = false;
    std::thread watcher;

    // Runs a library request on the worker and answers with its JSON or its refusal.
    template <class Job>
    void api(Response& res, Job job) {
        try {
            sendJson(res, worker.call(std::move(job)));
        } catch (const ApiError& error) {
            sendError(res, error.status, error.what());
        } catch (const cli::Failure& failure) {
            sendError(res, 502, failure.what());
        } catch (const std::exception& error) {
            sendError(res, 500, error.what());
        }
    }

    bool jsonBody(const Request& req, Response& res, json& body) {
        if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
            sendError(res, 415, "JSON expected");
            return false;
        }
        body = json::parse(req.body, nullptr, false);
        if (body.is_discarded() || !body.is_object()) {
            sendError(res, 400, "the request is not a JSON object");
            return false;
        }
        return true;
    }

    httplib::Server::HandlerResponse guard(const Request& req, Response& res);
    void routes();
    void watchPhones();
    bool receiveUpload(const Request& req, Response& res, const httplib::ContentReader& reader,
                       std::string& file, std::string& name);
};

// The checks every request passes before anything else is read: the Host (no DNS rebinding),
// the Origin (no other site), the token (no other local program or user), the body's size.
httplib::Server::HandlerResponse Server::State::guard(const Request& req, Response& res) {
    using HR = httplib::Server::HandlerResponse;
    const std::string self = "127.0.0.1:" + std::to_string(port);
    if (req.get_header_value("Host") != self) {
        sendError(res, 403, "this server answers only to http://" + self);
        return HR::Handled;
    }
    const std::string origin = req.get_header_value("Origin");
    const bool reads = req.method == "GET" || req.method == "HEAD";
    if ((!origin.empty() || !reads) && origin != "http://" + self) {
        sendError(res, 403, "requests from other origins are refused");
        return HR::Handled;
    }
    const std::string site = req.get_header_value("Sec-Fetch-Site");
    if (!site.empty() && site != "same-origin" && site != "none") {
        sendError(res, 403, "requests from other sites are refused");
        return HR::Handled;
    }
    if (req.method == "OPTIONS") {
        sendError(res, 405, "no cross-origin requests");
        return HR::Handled;
    }
    const std::string given = req.get_param_value("token");
    if (req.path == "/" && reads && sameText(given, token)) {
        // The token leaves the address bar (and history) for a cookie no script can read.
        res.set_header("Set-Cookie", "zentro-token=" + token + "; HttpOnly; SameSite=Strict; Path=/");
        res.set_redirect("/", 303);
        return HR::Handled;
    }
    if (!sameText(cookieValue(req, "zentro-token"), token)) {
        res.status = 403;
        res.set_content("Forbidden: open the address that 'zentro ui' printed, with its token.\n",
                        "text/plain; charset=utf-8");
        return HR::Handled;
    }
    const bool upload = req.method == "POST" && req.path.find("/upload") != std::string::npos;
    if (!upload && (req.has_header("Transfer-Encoding") || contentLength(req) > kMaxJsonBody)) {
        sendError(res, 413, "the request is too large");
        return HR::Handled;
    }
    return HR::Unhandled;
}

// Streams a dropped file into a new file of the private folder, refusing it past the limit.
bool Server::State::receiveUpload(const Request& req, Response& res, const httplib::ContentReader& reader,
                                  std::string& file, std::string& name) {
    name = percentDecoded(req.get_header_value("X-File-Name"));
    if (name.empty() || name.size() > 1024) {
        sendError(res, 400, "the file needs a name");
        return false;
    }
    if (!req.has_header("Content-Length") || contentLength(req) > options.maxUpload) {
        sendError(res, 413, "the file is larger than " + std::to_string(options.maxUpload >> 20) + " MiB");
        return false;
    }
    file = options.privateFolder + "/upload-" + std::to_string(++uploadCounter);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        sendError(res, 500, "cannot make a file in the private folder");
        return false;
    }
    size_t received = 0;
    bool ok = true;
    reader([&](const char* data, size_t length) {
        received += length;
        ok = received <= options.maxUpload && ::write(fd, data, length) == static_cast<ssize_t>(length);
        return ok;
    });
    ::close(fd);
    if (!ok || received != contentLength(req)) {
        std::remove(file.c_str());
        sendError(res, ok ? 400 : 413,
                  ok ? "the file arrived incomplete" : "the file is too large or the disk full");
        return false;
    }
    return true;
}

void Server::State::routes() {
    http.set_pre_routing_handler([this](const Request& req, Response& res) { return guard(req, res); });
    http.set_default_headers(kSecurityHeaders);
    http.set_exception_handler([](const Request&, Response& res, std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const ApiError& refusal) {
            sendError(res, refusal.status, refusal.what());
        } catch (const std::exception& failure) {
            sendError(res, 500, failure.what());
        }
    });
    http.set_payload_max_length(options.maxUpload);
    http.new_task_queue = [] { return new httplib::ThreadPool(16); };
    // Stopping waits for every connection's thread, and an idle kept-alive one holds its thread
    // for this long (5 s by default): short, so Ctrl-C ends the server at once.
    http.set_keep_alive_timeout(1);

    for (size_t i = 0; i < kAssetCount; ++i) {
        const Asset& asset = kAssets[i];
        const std::string path = std::string(asset.path) == "/index.html" ? "/" : asset.path;
        http.Get(path, [&asset](const Request&, Response& res) {
            res.set_content(reinterpret_cast<const char*>(asset.data), asset.size, typeOf(asset.path));
        });
    }

    http.Get("/api/events", [this](const Request&, Response& res) {
        auto seen = std::make_shared<uint64_t>(hub.latest());
        auto first = std::make_shared<bool>(true);
        res.set_chunked_content_provider("text/event-stream",
                                         [this, seen, first](size_t, httplib::DataSink& sink) {
                                             if (*first) { // at once, so the page knows the stream is open
                                                 *first = false;
                                                 return sink.write("retry: 1000\n\n", 13);
                                             }
                                             std::string frames;
                                             if (!hub.wait(*seen, frames, std::chrono::seconds(10))) {
                                                 sink.done();
                                                 return true;
                                             }
                                             if (frames.empty()) frames = ": still here\n\n";
                                             return sink.write(frames.data(), frames.size());
                                         });
    });

    http.Get("/api/phones", [this](const Request&, Response& res) { sendJson(res, data.phoneList()); });
    http.Post(R"(/api/phones/(\d)/prepare)", [this](const Request& req, Response& res) {
        const int device = deviceOf(req);
        api(res, [this, device] {
            data.prepare(device);
            return json{{"prepared", true}};
        });
    });
    http.Get("/api/pairing.bmp", [this](const Request&, Response& res) {
        try {
            const std::string path = worker.call([this] { return data.pairingImage(); });
            std::ifstream in(path, std::ios::binary);
            res.set_content(std::string(std::istreambuf_iterator<char>(in), {}), "image/bmp");
        } catch (const ApiError& error) {
            sendError(res, error.status, error.what());
        }
    });

    http.Get(R"(/api/phones/(\d)/conversations)", [this](const Request& req, Response& res) {
        api(res, [this, device = deviceOf(req), q = req.get_param_value("q"), slice = sliceOf(req)] {
            return data.conversations(device, q, slice);
        });
    });
    http.Get(R"(/api/phones/(\d)/messages)", [this](const Request& req, Response& res) {
        api(res, [this, device = deviceOf(req), address = req.get_param_value("address"),
                  q = req.get_param_value("q"),
                  slice = sliceOf(req)] { return data.messages(device, address, q, slice); });
    });
    http.Post(R"(/api/phones/(\d)/messages)", [this](const Request& req, Response& res) {
        json body;
        if (!jsonBody(req, res, body)) return;
        api(res, [this, device = deviceOf(req), address = body.value("address", ""),
                  text = body.value("body", "")] { return data.sendMessage(device, address, text); });
    });
    http.Get(R"(/api/phones/(\d)/calls)", [this](const Request& req, Response& res) {
        api(res, [this, device = deviceOf(req), slice = sliceOf(req)] { return data.calls(device, slice); });
    });
    http.Get(R"(/api/phones/(\d)/contacts)", [this](const Request& req, Response& res) {
        api(res, [this, device = deviceOf(req), q = req.get_param_value("q"), slice = sliceOf(req)] {
            return data.contacts(device, q, slice);
        });
    });
    http.Post(R"(/api/phones/(\d)/contacts)", [this](const Request& req, Response& res) {
        json body;
        if (!jsonBody(req, res, body)) return;
        api(res, [this, device = deviceOf(req), name = body.value("name", ""),
                  number = body.value("number", "")] { return data.addContact(device, name, number); });
    });
    http.Patch(R"(/api/phones/(\d)/contacts/(\d+))", [this](const Request& req, Response& res) {
        json body;
        if (!jsonBody(req, res, body)) return;
        api(res, [this, device = deviceOf(req), id = req.matches[2].str(), field = body.value("field", ""),
                  value = body.value("value", "")] { return data.editContact(device, id, field, value); });
    });
    http.Delete(R"(/api/phones/(\d)/contacts)", [this](const Request& req, Response& res) {
        api(res, [this, device = deviceOf(req)] { return data.deleteAllContacts(device); });
    });
    http.Get(R"(/api/phones/(\d)/calendar)", [this](const Request& req, Response& res) {
        api(res, [this, device = deviceOf(req), month = req.get_param_value("month")] {
            return data.events(device, month);
        });
    });
    http.Post(R"(/api/phones/(\d)/calendar)", [this](const Request& req, Response& res) {
        json body;
        if (!jsonBody(req, res, body)) return;
        api(res, [this, device = deviceOf(req), body] { return data.addEvent(device, body); });
    });
    http.Post(R"(/api/phones/(\d)/reload/(messages|contacts|calls|calendar|photos|music|videos))",
              [this](const Request& req, Response& res) {
                  api(res, [this, device = deviceOf(req), what = req.matches[2].str()] {
                      data.forget(device, what);
                      return json{{"reload", what}};
                  });
              });

    http.Get(R"(/api/phones/(\d)/apps)", [this](const Request& req, Response& res) {
        api(res, [this, device = deviceOf(req)] { return data.apps(device); });
    });
    http.Post(R"(/api/phones/(\d)/apps/upload)",
              [this](const Request& req, Response& res, const httplib::ContentReader& reader) {
                  std::string file, name;
                  if (!receiveUpload(req, res, reader, file, name)) return;
                  if (name.size() < 5 || name.substr(name.size() - 4) != ".apk") {
                      std::remove(file.c_str());
                      return sendError(res, 400, "only .apk files can be installed");
                  }
                  const std::string apk = file + ".apk";
                  std::rename(file.c_str(), apk.c_str());
                  api(res, [this, device = deviceOf(req), apk] { return data.installApp(device, apk); });
                  std::remove(apk.c_str());
              });
    http.Delete(R"(/api/phones/(\d)/apps/([A-Za-z0-9._]+))", [this](const Request& req, Response& res) {
        api(res, [this, device = deviceOf(req), package = req.matches[2].str()] {
            return data.uninstallApp(device, package);
        });
    });
    http.Get(R"(/api/phones/(\d)/apps/([A-Za-z0-9._]+)/apk)", [this](const Request& req, Response& res) {
        try {
            const std::string package = req.matches[2].str();
            const std::string file = worker.call(
                [this, device = deviceOf(req), package] { return data.exportApp(device, package); });
            sendFile(res, file, package + ".apk", "application/vnd.android.package-archive");
        } catch (const ApiError& error) {
            sendError(res, error.status, error.what());
        }
    });

    const std::string media = R"(/api/phones/(\d)/media/(photos|music|videos))";
    http.Get(media, [this](const Request& req, Response& res) {
        api(res, [this, device = deviceOf(req), family = req.matches[2].str()] {
            return data.media(device, family);
        });
    });
    http.Get(media + R"(/(-?\d+)/thumb)", [this](const Request& req, Response& res) {
        try {
            std::string type;
            const std::string bytes =
                worker.call([this, &type, device = deviceOf(req), family = req.matches[2].str(),
                             id = idOf(req)] { return data.thumbnail(device, family, id, type); });
            res.set_content(bytes, type);
        } catch (const std::exception& error) {
            sendError(res, 404, error.what());
        }
    });
    http.Get(media + R"(/(-?\d+)/file)", [this](const Request& req, Response& res) {
        try {
            std::string name;
            const std::string file =
                worker.call([this, &name, device = deviceOf(req), family = req.matches[2].str(),
                             id = idOf(req)] { return data.download(device, family, id, name); });
            sendFile(res, file, name, "application/octet-stream");
        } catch (const ApiError& error) {
            sendError(res, error.status, error.what());
        }
    });
    http.Post(media + "/upload",
              [this](const Request& req, Response& res, const httplib::ContentReader& reader) {
                  std::string file, name;
                  if (!receiveUpload(req, res, reader, file, name)) return;
                  api(res, [this, device = deviceOf(req), family = req.matches[2].str(), file, name] {
                      return data.upload(device, family, file, name);
                  });
                  std::remove(file.c_str());
              });
    http.Delete(media + R"(/(-?\d+))", [this](const Request& req, Response& res) {
        api(res, [this, device = deviceOf(req), family = req.matches[2].str(), id = idOf(req)] {
            return data.removeMedia(device, family, id);
        });
    });

    http.Post(R"(/api/phones/(\d)/backup)", [this](const Request& req, Response& res) {
        const int device = deviceOf(req);
        char stamp[32];
        const std::time_t now = std::time(nullptr);
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
        const std::string folder = backupsFolder() + "/phone" + std::to_string(device) + "-" + stamp;
        worker.post([this, device, folder] { data.backup(device, folder); });
        sendJson(res, {{"folder", folder}}, 202);
    });
    http.Get("/api/backups", [](const Request&, Response& res) { sendJson(res, backupList()); });
    // A backup named by its folder under the backups folder; a preview answers at once, a
    // restore runs on and reports through "restore" events.
    http.Post(R"(/api/phones/(\d)/restore)", [this](const Request& req, Response& res) {
        json body;
        if (!jsonBody(req, res, body)) return;
        const json given = body.value("backup", json(nullptr));
        const std::string name = given.is_string() ? given.get<std::string>() : "";
        if (name.empty() || name[0] == '.' || name.find_first_of(std::string("/\0", 2)) != std::string::npos)
            return sendError(res, 400, "choose one of the listed backups");
        const std::string folder = backupsFolder() + "/" + name;
        std::error_code error;
        if (std::filesystem::is_symlink(folder, error) || !std::filesystem::is_directory(folder, error))
            return sendError(res, 404, "no such backup");
        const int device = deviceOf(req);
        if (body.contains("dryRun") && body["dryRun"] == true)
            return api(res, [this, device, folder] { return data.restore(device, folder, true); });
        worker.post([this, device, folder] { data.restore(device, folder, false); });
        sendJson(res, {{"folder", folder}}, 202);
    });
    // Cancels whatever long work runs: only flags and the library's abort exports, which may be
    // called beside the running call.
    http.Post("/api/cancel", [this](const Request&, Response& res) {
        data.cancel();
        sendJson(res, {{"cancelled", true}});
    });
}

namespace {
Server::State* g_watched = nullptr;
std::mutex g_watchedMutex;

void onPhoneEvent(int32_t) {
    std::lock_guard lock(g_watchedMutex);
    if (g_watched == nullptr) return;
    {
        std::lock_guard inner(g_watched->watchMutex);
        g_watched->kick = true;
    }
    g_watched->watchWake.notify_all();
}
} // namespace

// The adb server's list, read twice a second, and the library's USB and WiFi callbacks: any
// change has the worker detect the phones and the page hear of it.
void Server::State::watchPhones() {
    std::string last;
    std::unique_lock lock(watchMutex);
    while (!stopping) {
        const bool kicked = kick;
        kick = false;
        lock.unlock();
        const cli::AdbServerView view = cli::queryAdbServer();
        std::string now = view.running ? "up" : "down";
        for (const cli::AdbDevice& device : view.devices) now += " " + device.serial + "=" + device.state;
        if (now != last || kicked) {
            last = now;
            hub.publish("phones", data.phoneList()); // at once; details follow from the worker
            worker.post([this] { data.detectPhones(); });
        }
        lock.lock();
        watchWake.wait_for(lock, std::chrono::milliseconds(500), [this] { return stopping || kick; });
    }
}

Server::Server(const ServerOptions& options)
    : state_(std::make_unique<State>(options)) {
    state_->routes();
}

Server::~Server() { stop(); }

int Server::bind() {
    state_->port =
        state_->options.port == 0
            ? state_->http.bind_to_any_port("127.0.0.1")
            : (state_->http.bind_to_port("127.0.0.1", state_->options.port) ? state_->options.port : -1);
    return state_->port;
}

std::string Server::url() const {
    return "http://127.0.0.1:" + std::to_string(state_->port) + "/?token=" + state_->token;
}

void Server::serve() {
    {
        std::lock_guard lock(g_watchedMutex);
        g_watched = state_.get();
    }
    state_->worker.call([] {
        Zentro_SetUSBCallBack(onPhoneEvent);
        return Zentro_SetWiFiConnectCallBack(onPhoneEvent);
    });
    state_->watcher = std::thread([this] { state_->watchPhones(); });
    state_->http.listen_after_bind();
}

void Server::stop() {
    // Once: a second time (the destructor after Ctrl-C) the worker is gone, and the wait below
    // for a job it never runs would add its whole bound to every exit.
    if (!state_ || state_->port < 0 || state_->stopped.exchange(true)) return;
    state_->data.cancel(); // a running transfer or backup ends after its current step
    // Thumbnails a page of a thousand photos asked for are not worth a phone round trip each
    // on the way out.
    state_->worker.discard();
    // Taken back on the worker, in turn; a worker stuck in a call the phone never answers must
    // not keep Ctrl-C from ending the program, so the wait is bounded.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> unset = done->get_future();
    state_->worker.post([done = std::move(done)] {
        Zentro_SetUSBCallBack(nullptr);
        Zentro_SetWiFiConnectCallBack(nullptr);
        done->set_value();
    });
    unset.wait_for(std::chrono::seconds(3));
    {
        std::lock_guard lock(g_watchedMutex);
        g_watched = nullptr;
    }
    {
        std::lock_guard lock(state_->watchMutex);
        state_->stopping = true;
    }
    state_->watchWake.notify_all();
    if (state_->watcher.joinable()) state_->watcher.join();
    state_->hub.close();
    state_->http.stop();
    state_->worker.stop();
}

} // namespace zentro::ui
