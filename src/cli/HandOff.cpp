#include "cli/HandOff.h"

#include <simdjson.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace pelorin {

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool allDigits(std::string_view text, std::string_view alsoAllowed = {})
{
    if (text.empty() || text.size() > 12)
        return false;
    for (char c : text)
        if ((c < '0' || c > '9') && alsoAllowed.find(c) == std::string_view::npos)
            return false;
    return true;
}

// A JSON string; none when the bytes are not UTF-8 (the full program decides about those).
std::optional<std::string> jsonString(std::string_view text)
{
    if (!simdjson::validate_utf8(text.data(), text.size()))
        return std::nullopt;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

std::optional<std::string> captureMessage(const std::vector<std::string_view>& arguments)
{
    std::string mode;
    std::string extra;
    bool delay = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const std::string_view next = i + 1 < arguments.size() ? arguments[i + 1] : std::string_view();
        std::string chosen;
        if (argument == "--capture") {
            chosen = "region";
        } else if (argument == "--capture-window") {
            chosen = "window";
        } else if (argument == "--capture-last-region") {
            chosen = "lastRegion";
        } else if (argument == "--capture-screen") {
            // An optional monitor: its number from 1, or "pointer" (sent as 0).
            if (next == "pointer" || (allDigits(next) && std::atoi(std::string(next).c_str()) >= 1)) {
                chosen = "monitor";
                extra += ",\"monitor\":" + std::string(next == "pointer" ? "0" : std::to_string(std::atoi(std::string(next).c_str())));
                ++i;
            } else if (allDigits(next)) {
                return std::nullopt; // monitor 0: the full program names the mistake
            } else {
                chosen = "fullScreen";
            }
        } else if (argument == "--delay" && !delay && allDigits(next, ".")) {
            const double seconds = std::strtod(std::string(next).c_str(), nullptr);
            if (!std::isfinite(seconds) || seconds > 3600)
                return std::nullopt;
            char number[32];
            std::snprintf(number, sizeof number, "%.17g", seconds);
            extra += ",\"delay\":" + std::string(number);
            delay = true;
            ++i;
            continue;
        } else {
            return std::nullopt;
        }
        if (!mode.empty())
            return std::nullopt;
        mode = chosen;
    }
    if (mode.empty())
        return std::nullopt;
    return "{\"capture\":\"" + mode + "\",\"files\":[]" + extra + "}";
}

std::optional<std::string> filesMessage(const std::vector<std::string_view>& arguments, const std::string& workingDirectory)
{
    std::string message = "[";
    for (const std::string_view argument : arguments) {
        // Options, URLs and names that are not files go to the full program, which explains them.
        if (argument.empty() || argument.front() == '-' || argument.starts_with("file:"))
            return std::nullopt;
        std::filesystem::path path(argument);
        if (path.is_relative())
            path = std::filesystem::path(workingDirectory) / path;
        const std::string absolute = path.lexically_normal().string();
        struct stat status {};
        if (::stat(absolute.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
            return std::nullopt;
        const std::optional<std::string> quoted = jsonString(absolute);
        if (!quoted)
            return std::nullopt;
        if (message.size() > 1)
            message += ',';
        message += *quoted;
    }
    return message + ']';
}

// What QDir makes of a folder path: no trailing slashes; none when it is relative.
std::optional<std::string> absoluteFolder(std::string folder)
{
    if (folder.empty() || folder.front() != '/')
        return std::nullopt;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

bool waitFor(int socket, short events, int timeoutMs)
{
    pollfd watched{socket, events, 0};
    int ready;
    do
        ready = ::poll(&watched, 1, timeoutMs);
    while (ready < 0 && errno == EINTR);
    return ready == 1 && (watched.revents & events);
}

} // namespace

std::optional<std::string> handOffMessage(int argc, const char* const* argv, const std::string& workingDirectory)
{
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    if (arguments.empty())
        return std::string("[]"); // the app shows its editor
    if (arguments.front().starts_with("--capture"))
        return captureMessage(arguments);
    return filesMessage(arguments, workingDirectory);
}

std::optional<std::string> runningAppSocket()
{
    // As the app names it: the display names the session ("x11.:1", "wl.wayland-0"), in the
    // user's runtime folder, else in the temporary folder with the user id.
    const std::string wayland = environment("WAYLAND_DISPLAY");
    const std::string x11 = environment("DISPLAY");
    if (wayland.empty() && x11.empty())
        return std::nullopt;
    std::string display = wayland.empty() ? "x11." + x11 : "wl." + wayland.substr(wayland.rfind('/') + 1);
    for (char& c : display) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return std::nullopt; // one character may be several bytes: leave it to the app
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
            c = '_';
    }
    const std::string name = std::string(PELORIN_APP_ID) + '.' + display;
    struct stat status {};
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    if (!runtime.empty() && ::stat(runtime.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        const std::optional<std::string> folder = absoluteFolder(runtime);
        return folder ? std::optional(*folder + '/' + name) : std::nullopt;
    }
    const std::string temporary = environment("TMPDIR");
    const std::optional<std::string> folder = absoluteFolder(temporary.empty() ? "/tmp" : temporary);
    return folder ? std::optional(*folder + '/' + name + '-' + std::to_string(::getuid())) : std::nullopt;
}

bool sendToRunningApp(const std::string& socketPath, const std::string& message, int timeoutMs)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket < 0)
        return false;
    const auto finish = [socket](bool taken) {
        ::close(socket);
        return taken;
    };
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0
        && errno != EAGAIN && errno != EINPROGRESS)
        return finish(false);
    const std::string line = message + '\n';
    for (std::size_t written = 0; written < line.size();) {
        if (!waitFor(socket, POLLOUT, timeoutMs))
            return finish(false);
        const ssize_t sent = ::send(socket, line.data() + written, line.size() - written, MSG_NOSIGNAL);
        if (sent < 0 && errno != EAGAIN && errno != EINTR)
            return finish(false);
        written += std::size_t(std::max<ssize_t>(sent, 0));
    }
    // The running app answers "ok" once it has taken the message.
    std::string answer;
    while (answer.find('\n') == std::string::npos && answer.size() < 64) {
        if (!waitFor(socket, POLLIN, timeoutMs))
            return finish(false);
        char buffer[64];
        const ssize_t received = ::recv(socket, buffer, sizeof buffer, 0);
        if (received == 0 || (received < 0 && errno != EAGAIN && errno != EINTR))
            break;
        answer.append(buffer, std::size_t(std::max<ssize_t>(received, 0)));
    }
    return finish(answer.starts_with("ok"));
}

bool handToRunningApp(int argc, const char* const* argv)
{
    const std::optional<std::string> socket = runningAppSocket();
    if (!socket)
        return false;
    std::error_code error;
    const std::filesystem::path here = std::filesystem::current_path(error);
    if (error)
        return false;
    const std::optional<std::string> message = handOffMessage(argc, argv, here.string());
    return message && sendToRunningApp(*socket, *message);
}

} // namespace pelorin
