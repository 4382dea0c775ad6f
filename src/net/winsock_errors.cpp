// Error texts by WinSock code, and the mapping from errno and resolver results.
#include "net/winsock_errors.h"

#include <netdb.h>

#include <cerrno>

namespace tob::net {
namespace {

struct ErrorText {
    int code;
    const char* text;
};

constexpr ErrorText kTexts[] = {
    {10004, "WSAEINTR 中止命令により中断しました"},
    {10009, "WSAEBADF ファイル番号が違います"},
    {10013, "WSAEACCES アクセスが拒否されました"},
    {10014, "WSAEFAULT アドレスが違います"},
    {10022, "WSAEINVAL パラメータが解釈できません"},
    {10024, "WSAEMFILE ファイルのオープン数が多すぎます"},
    {10035, "WSAEWOULDBLOCK 操作がブロックされます"},
    {10036, "WSAEINPROGRESS 操作が処理中です"},
    {10037, "WSAEALREADY すでに実行中です"},
    {10038, "WSAENOTSOCK ソケット以外でソケット操作がありました"},
    {10039, "WSAEDESTADDRREQ 宛先アドレスが設定されていません"},
    {10040, "WSAEMSGSIZE メッセージが長すぎます"},
    {10041, "WSAEPROTOTYPE プロトコル種類が不正です"},
    {10042, "WSAENOPROTOOPT プロトコルが使用できません"},
    {10043, "WSAEPROTONOSUPPORT プロトコルがサポートされていません"},
    {10044, "WSAESOCKTNOSUPPORT ソケットがサポートされていません"},
    {10045, "WSAEOPNOTSUPP 操作がソケットでサポートされていません"},
    {10046, "WSAEPFNOSUPPORT プロトコルファミリがサポートされていません"},
    {10047, "WSAEAFNOSUPPORT アドレスファミリがサポートされていません"},
    {10048, "WSAEADDRINUSE アドレスがすでに使用中です"},
    {10049, "WSAEADDRNOTAVAIL 設定されたアドレスを割り当てられません"},
    {10050, "WSAENETDOWN ネットワークダウンしています"},
    {10051, "WSAENETUNREACH ネットワークが到達できません"},
    {10052, "WSAENETRESET リセットされたのでネットワーク接続が落とされました"},
    {10053, "WSAECONNABORTED 接続中断要求により中断されました"},
    {10054, "WSAECONNRESET ピア側での接続がリセットされました"},
    {10055, "WSAENOBUFS バッファがありません"},
    {10056, "WSAEISCONN ソケットはすでに接続されています"},
    {10057, "WSAENOTCONN ソケットが接続されていません"},
    {10058, "WSAESHUTDOWN ソケットがすでに解放されているため送信できません"},
    {10059, "WSAETOOMANYREFS 参照が多すぎます"},
    {10060, "WSAETIMEDOUT 接続タイムアウトが発生しました"},
    {10061, "WSAECONNREFUSED 接続が拒否されました"},
    {10062, "WSAELOOP シンボリックリンクレベルが大きすぎます"},
    {10063, "WSAENAMETOOLONG ファイル名が長すぎます"},
    {10064, "WSAEHOSTDOWN ホストがダウンしています"},
    {10065, "WSAEHOSTUNREACH ホストへの到達経路が見つかりません"},
    {10066, "WSAENOTEMPTY ディレクトリが空ではありません"},
    {10067, "WSAEPROCLIM プロセス数が多すぎます"},
    {10068, "WSAEUSERS ユーザ数が多すぎます"},
    {10069, "WSAEDQUOT ディスク割り当てを超えました"},
    {10070, "WSAESTALE NFSファイルハンドルが失効しました"},
    {10071, "WSAEREMOTE パス中の遠隔レベルが過剰です"},
    {10091, "WSASYSNOTREADY アプリケーションがWinsock.DLLでサポートできません"},
    {10092, "WSAVERNOTSUPPORTED サーバーが対応していません"},
    {10093, "WSANOTINITIALISED Winsockが初期化されていません"},
    {11001, "WSAHOST_NOT_FOUND ホストが見つかりません"},
    {11002, "WSATRY_AGAIN もう1度試せば回復するかもしれません"},
    {11003, "WSANO_RECOVERY 回復できないエラーです"},
    {11004, "WSANO_DATA 見つかりません"},
};

struct ErrnoCode {
    int err;
    int code;
};

constexpr ErrnoCode kErrnoCodes[] = {
    {EINTR, 10004},           {EBADF, 10009},        {EACCES, 10013},
    {EFAULT, 10014},          {EINVAL, 10022},       {EMFILE, 10024},
    {EAGAIN, 10035},          {EINPROGRESS, 10036},  {EALREADY, 10037},
    {ENOTSOCK, 10038},        {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},      {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},        {ENETUNREACH, 10051},  {ENETRESET, 10052},
    {ECONNABORTED, 10053},    {ECONNRESET, 10054},   {EPIPE, 10054},
    {ENOBUFS, 10055},         {EISCONN, 10056},      {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},       {ETOOMANYREFS, 10059}, {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},    {ELOOP, 10062},        {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},       {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066},
    {EUSERS, 10068},          {EDQUOT, 10069},       {ESTALE, 10070},
    {EREMOTE, 10071},
};

}  // namespace

const char* winsock_text(int code) {
    for (const ErrorText& e : kTexts)
        if (e.code == code) return e.text;
    return "未定義エラー";
}

int winsock_code_from_errno(int err) {
    if (err == 0) return 0;
    for (const ErrnoCode& e : kErrnoCodes)
        if (e.err == err) return e.code;
    return 20000 + err;  // above every known code: "未定義エラー"
}

int winsock_code_from_resolver(int rc) {
    switch (rc) {
        case EAI_NONAME:
            return 11001;
        case EAI_AGAIN:
            return 11002;
        case EAI_FAIL:
            return 11003;
        default:
            return 11004;
    }
}

}  // namespace tob::net
