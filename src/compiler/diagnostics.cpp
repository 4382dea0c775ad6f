// The compiler's message table and the collection of messages of one compilation.
#include "compiler/diagnostics.h"

#include <array>

#include "platform/cp932.h"

namespace tob::compiler {
namespace {

constexpr std::array<std::string_view, kMessageCount> kMessages = {
    "内部エラー",
    "メモリの確保に失敗しました",
    "ファイルのオープンに失敗しました",
    "ファイルの読み込みに失敗しました",
    "ディレクティプ命令でエラーが発生しました",
    "インクルードファイルの指定が間違ってます",
    "インクルードファイルのネスト回数が多すぎます",
    "マクロの参照回数が１６回を超えました",
    "変数（関数）の宣言に誤りがあります",
    "式の記述に誤りがあります",
    "０で除算しました",
    "定数がありません",
    "文法エラー",
    "変数がありません",
    "型の指定が間違っています",
    "定義されていない文字列です",
    "文字列は一行内に記述してください",
    "クォーテーションがありません",
    "グローバルシンボルの数が多すぎます",
    "ローカルシンボルの数が多すぎます",
    "シンボルバッファの長さをオーバーしました",
    "一行の長さが長すぎます",
    "ヒープ領域が溢れました",
    "プログラム領域が足りません",
    "コンパイル途中で EOF が現れました",
};

}  // namespace

std::string_view message_text(Msg m) {
    size_t i = size_t(m);
    return i < kMessages.size() ? kMessages[i] : kMessages[0];
}

std::string Diagnostics::position_prefix() const {
    if (!position_) return "(0) : ";
    std::string s = tob::cp932_to_utf8(position_->current_path());
    s += '(';
    s += std::to_string(position_->current_line());
    s += ") : ";
    return s;
}

void Diagnostics::fail(Msg m) {
    if (m == Msg::EndOfFile && top_level_) throw SourceEnded{};
    ++count_;
    if (collect_) {
        std::string s = position_prefix();
        s += message_text(m);
        s += "。\n";
        if (position_ && position_->current_line() != 0)
            s += tob::cp932_to_utf8(position_->echo_line());
        append(s);
    }
    throw CompileAbort{m};
}

void Diagnostics::missing(std::string_view item_utf8) {
    ++count_;
    if (!collect_) return;
    std::string s = position_prefix();
    s += item_utf8;
    s += " がありません\n";
    append(s);
}

void Diagnostics::append(std::string_view utf8) {
    if (!collect_) return;
    // The buffer keeps what fits; a cut never splits a character.
    size_t room = kBufferSize - 1 - text_.size();
    if (utf8.size() > room) {
        size_t n = room;
        while (n > 0 && (uint8_t(utf8[n]) & 0xC0) == 0x80) --n;
        utf8 = utf8.substr(0, n);
    }
    text_ += utf8;
}

}  // namespace tob::compiler
