#pragma once

// The one place where what the host layer's work throws becomes a
// kalo_host_status. Every C function of the layer goes through guarded();
// nothing escapes it.

#include <cstring>
#include <exception>
#include <new>
#include <string_view>

#include "error.h"
#include "kalo_host.h"

namespace kalo::host {

inline void report(kalo_host_status* status, int32_t code, std::string_view message) {
    if (status == nullptr)
        return;
    status->code = code;
    const std::size_t n = std::min(message.size(), sizeof status->message - 1);
    std::memcpy(status->message, message.data(), n);
    status->message[n] = '\0';
}

// Thrown for a null handle or pointer: the name of the argument.
struct NullArgument {
    const char* name;
};

template <class T>
T& need(T* pointer, const char* name) {
    if (pointer == nullptr)
        throw NullArgument{name};
    return *pointer;
}

// A text argument: the pointer itself, once known not to be null.
inline const char* need(const char* text, const char* name) {
    if (text == nullptr)
        throw NullArgument{name};
    return text;
}

// Runs the work and reports how it went; true when it succeeded.
template <class Work>
bool guarded(kalo_host_status* status, Work&& work) noexcept {
    try {
        work();
        report(status, KALO_HOST_OK, "");
        return true;
    } catch (const NullArgument& null) {
        report(status, KALO_HOST_INVALID_ARGUMENT, std::string(null.name) + " is null");
    } catch (const Error& error) {
        report(status, static_cast<int32_t>(error.kind), error.what());
    } catch (const std::bad_alloc&) {
        report(status, KALO_HOST_INTERNAL, "out of memory");
    } catch (const std::exception& error) {
        report(status, KALO_HOST_INTERNAL, error.what());
    } catch (...) {
        report(status, KALO_HOST_INTERNAL, "unexpected failure");
    }
    return false;
}

} // namespace kalo::host
