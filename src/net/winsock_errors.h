// The WinSock error codes scripts' reports name, and where ours come from:
// errno values map to the code of the same name, resolver failures to
// 11001-11004.
#pragma once

namespace tob::net {

inline constexpr int kWsaNotInitialised = 10093;
inline constexpr int kWsaConnRefused = 10061;

// The report text of a WinSock code ("未定義エラー" for unknown codes).
const char* winsock_text(int code);
// The WinSock code of an errno value (0 for 0; unknown values give a code
// without a text).
int winsock_code_from_errno(int err);
// The WinSock code of a getaddrinfo result.
int winsock_code_from_resolver(int rc);

}  // namespace tob::net
