// Shared libraries that only some commands need, opened when first used. Linked into zentro,
// libical (with ICU behind it) and libcrypto would be loaded and relocated at the start of every
// command, `zentro devices` included, which never reads a calendar or hashes a file.
#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>

namespace zentro::cli {

class LazyLibrary {
public:
    // The library of that file name (a SONAME such as "libical.so.3", or a path); it stays loaded until the
    // process ends. Throws std::runtime_error saying which library is missing.
    explicit LazyLibrary(const char* soname)
        : soname_(soname)
        , handle_(::dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {
        if (handle_ == nullptr)
            throw std::runtime_error(std::string(soname) + " could not be loaded: " + error());
    }

    // The function of that name, as the type its header declares (pass decltype(&name)).
    template <typename Function>
    Function function(const char* name) const {
        void* address = ::dlsym(handle_, name);
        if (address == nullptr) throw std::runtime_error(soname_ + " lacks " + name + ": " + error());
        return reinterpret_cast<Function>(address);
    }

private:
    static std::string error() {
        const char* text = ::dlerror();
        return text != nullptr ? text : "unknown error";
    }
    std::string soname_;
    void* handle_;
};

} // namespace zentro::cli
