#pragma once

// A real HTTPS server on https://localhost:PORT/ for the test that creates it: update_server.py (beside this
// file; what each path gets is described there) started as a Linux process, serving a fresh folder, with its
// certificate trusted in this prefix. This object holds the server's control connection, so the server ends
// when the object goes or the test process ends.
//
// Needs CALIDRA_PYTHON and CALIDRA_UPDATE_SERVER (Linux paths of python3 and update_server.py) and
// CALIDRA_TEST_UPDATE_KEY (the build's test key) defined at build time, and the build folder on wine's Z:
// drive.

#include "CertificateTrust.h"
#include "TempFolder.h"
#include "TestSupport.h"
#include "Wait.h"

#include "win/Handle.h"

#include <windows.h>
#include <winsock.h>  // what windows.h brings already; enough for one TCP connection

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace testing_support {

// Z:\a\b -> /a/b
inline std::string LinuxPath(const std::wstring& zPath) {
    std::string path;
    for (size_t i = 2; i < zPath.size(); ++i) {
        path += zPath[i] == L'\\' ? '/' : static_cast<char>(zPath[i]);
    }
    return path;
}

struct SocketTraits {
    using pointer = SOCKET;
    static pointer invalid() noexcept { return INVALID_SOCKET; }
    static void close(pointer s) noexcept { ::closesocket(s); }
};
using UniqueSocket = UniqueResource<SocketTraits>;

class Winsock {
  public:
    Winsock() noexcept {
        WSADATA data{};
        ok_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Winsock() {
        if (ok_) {
            ::WSACleanup();
        }
    }
    Winsock(const Winsock&) = delete;
    Winsock& operator=(const Winsock&) = delete;

  private:
    bool ok_ = false;
};

class LocalUpdateServer {
  public:
    static constexpr DWORD kStartWaitMs = 15000;
    static constexpr DWORD kStopWaitMs = 3000;

    // kSignsPackages: the server answers "<package>.sig" for every package it has with the signature the
    // program under test accepts (unless a file of that name says otherwise; a folder of that name: 404).
    enum class Signing { kNone, kSignsPackages };

    explicit LocalUpdateServer(Signing signing = Signing::kNone) : signing_(signing) {
        static int serial = 0;
        const std::wstring base = TestDir() + L"update_server\\";
        folder_ = base + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++serial) + L"\\";
        DeleteTree(folder_);
        ::CreateDirectoryW(base.c_str(), nullptr);
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        ::CreateDirectoryW(Root().c_str(), nullptr);
        ::CreateDirectoryW(State().c_str(), nullptr);
        if (base.compare(0, 2, L"Z:") != 0 || !Launch(base + L"certs\\")) {
            return;
        }
        int controlPort = 0;
        const bool listening = WaitUntil(
            [&] {
                const std::string json = ReadFileBytes(State() + L"server.json");
                port_ = NumberAfter(json, "\"port\": ");
                silentPort_ = NumberAfter(json, "\"silent_port\": ");
                controlPort = NumberAfter(json, "\"control_port\": ");
                return port_ > 0 && silentPort_ > 0 && controlPort > 0;
            },
            kStartWaitMs);
        if (listening)
            trusted_ = Hold(controlPort) && TrustCertificateFile(base + L"certs\\cert.der");
    }

    ~LocalUpdateServer() {
        control_.reset();  // the server stops and removes server.json
        if (port_ > 0) {
            WaitUntil(
                [&] {
                    return ::GetFileAttributesW((State() + L"server.json").c_str()) ==
                           INVALID_FILE_ATTRIBUTES;
                },
                kStopWaitMs);
        }
        DeleteTree(folder_);
    }

    LocalUpdateServer(const LocalUpdateServer&) = delete;
    LocalUpdateServer& operator=(const LocalUpdateServer&) = delete;

    // Listening, with its certificate trusted.
    [[nodiscard]] bool ok() const { return port_ > 0 && trusted_; }
    [[nodiscard]] std::wstring BaseUrl() const {
        return L"https://localhost:" + std::to_wstring(port_) + L"/";
    }
    // A port that accepts connections and never answers, not even the TLS handshake.
    [[nodiscard]] std::wstring SilentUrl() const {
        return L"https://localhost:" + std::to_wstring(silentPort_) + L"/";
    }
    // The port of another door to the same folder, by its name in server.json: "plain" (HTTP), "untrusted"
    // and "expired" (TLS with a certificate from nobody trusted, or one that has expired).
    [[nodiscard]] int PortOf(const std::string& door) const {
        return NumberAfter(ReadFileBytes(State() + L"server.json"), ("\"" + door + "_port\": ").c_str());
    }
    // The served folder, with a trailing backslash.
    [[nodiscard]] std::wstring Root() const { return folder_ + L"root\\"; }

    // Serves bytes at relative (written with "/" or "\"), creating the folders on the way.
    bool Put(std::wstring relative, const std::string& bytes) const {
        for (wchar_t& c : relative) {
            c = c == L'/' ? L'\\' : c;
        }
        return WriteFileBytes(Root() + relative, bytes);
    }

    // The paths of the requests so far, exactly as sent, oldest first.
    [[nodiscard]] std::vector<std::string> Requests() const { return Lines(L"requests.log"); }
    // The same with each request's header lines as received: "path\tName: value\tName: value...".
    [[nodiscard]] std::vector<std::string> RequestHeaders() const { return Lines(L"headers.log"); }

  private:
    [[nodiscard]] std::wstring State() const { return folder_ + L"state\\"; }

    [[nodiscard]] std::vector<std::string> Lines(const wchar_t* file) const {
        std::vector<std::string> lines;
        const std::string log = ReadFileBytes(State() + file);
        for (size_t start = 0, end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
            lines.push_back(log.substr(start, end - start));
        }
        return lines;
    }

    static int NumberAfter(const std::string& text, const char* key) {
        const size_t at = text.find(key);
        return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + std::strlen(key));
    }

    bool Hold(int controlPort) {
        control_.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = ::htons(static_cast<u_short>(controlPort));
        address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        return control_ &&
               ::connect(control_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    }

    // Wine runs a Linux executable named by a Z: path as a Linux process (without a process handle here).
    bool Launch(const std::wstring& certs) const {
        const std::string python = CALIDRA_PYTHON;
        std::wstring command = L"Z:" + Widen(python) + L" " + Quote(Widen(CALIDRA_UPDATE_SERVER)) + L" " +
                               Quote(Widen(LinuxPath(Root()))) + L" " + Quote(Widen(LinuxPath(State()))) +
                               L" --certs " + Quote(Widen(LinuxPath(certs)));
        if (signing_ == Signing::kSignsPackages) {
            command += L" --sign " + Quote(Widen(CALIDRA_TEST_UPDATE_KEY));
        }
        for (size_t i = 2; i < 2 + python.size(); ++i) {
            command[i] = command[i] == L'/' ? L'\\' : command[i];
        }
        return StartDetached(command);
    }

    const Signing signing_;
    Winsock winsock_;
    std::wstring folder_;
    UniqueSocket control_;
    int port_ = 0;
    int silentPort_ = 0;
    bool trusted_ = false;
};

}  // namespace testing_support
