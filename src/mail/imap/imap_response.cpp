#include "mail/imap/imap_response.h"

#include <cstring>
#include <limits>
#include <utility>

namespace velmio {

void ImapReplyFramer::Append(const QByteArray& bytes) {
    // Nothing that follows can be read once the stream is lost; keeping it
    // would only let the buffer grow until Clear().
    if (overlong_) return;
    data_.append(bytes);
    Scan();
}

void ImapReplyFramer::Clear() {
    data_.clear();
    lineStart_ = scan_ = 0;
    end_ = -1;
    overlong_ = false;
}

std::optional<QByteArray> ImapReplyFramer::TakeReply() {
    if (end_ < 0) return std::nullopt;
    QByteArray reply = data_.left(end_);
    data_.remove(0, end_);
    lineStart_ = scan_ = 0;
    end_ = -1;
    Scan();
    return reply;
}

// Follows the first response from where the last arrival left off, so a long
// literal is passed over once. The limits are checked at points that depend
// only on the bytes so far, so the answer is the same however they arrive.
void ImapReplyFramer::Scan() {
    while (end_ < 0 && !overlong_ && scan_ <= data_.size()) {
        const qsizetype lf = data_.indexOf('\n', scan_);
        const qsizetype seen = lf < 0 ? data_.size() : lf;
        // A response ends in a line feed, so one reaching kMaxResponse
        // before it is already beyond the limit.
        if (seen - lineStart_ > kMaxLine || seen >= kMaxResponse) {
            overlong_ = true;
            return;
        }
        if (lf < 0) {
            scan_ = data_.size();
            return;
        }
        const qsizetype literal = LiteralBefore(lf);
        if (literal < 0) {
            end_ = lf + 1;
            return;
        }
        if (literal > kMaxLiteral || lf + 1 + literal >= kMaxResponse) {
            overlong_ = true;
            return;
        }
        lineStart_ = scan_ = lf + 1 + literal;
    }
}

// The length announced by a "{n}" or "{n+}" that ends the line before
// lineFeed, or -1. Bytes of an earlier literal are never read as the marker.
qsizetype ImapReplyFramer::LiteralBefore(qsizetype lineFeed) const {
    qsizetype i = lineFeed;
    if (i > lineStart_ && data_.at(i - 1) == '\r') --i;
    if (i <= lineStart_ || data_.at(i - 1) != '}') return -1;
    --i;
    if (i > lineStart_ && data_.at(i - 1) == '+') --i;
    const qsizetype digitsEnd = i;
    while (i > lineStart_ && data_.at(i - 1) >= '0' && data_.at(i - 1) <= '9') --i;
    if (i == digitsEnd || i <= lineStart_ || data_.at(i - 1) != '{') return -1;
    qsizetype n = 0;
    for (; i < digitsEnd; ++i) {
        n = n * 10 + (data_.at(i) - '0');
        if (n > kMaxLiteral) return kMaxLiteral + 1;  // stops before it could overflow
    }
    return n;
}

std::optional<quint64> ImapValue::Number() const {
    if (kind != Kind::Atom || text.isEmpty()) return std::nullopt;
    constexpr quint64 kMax = std::numeric_limits<quint64>::max();
    quint64 n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = quint64(c - '0');
        if (n > (kMax - digit) / 10) return std::nullopt;
        n = n * 10 + digit;
    }
    return n;
}

bool ImapValue::Is(const char* atom) const {
    return kind == Kind::Atom && text.compare(atom, Qt::CaseInsensitive) == 0;
}

const ImapValue* FindItem(const QList<ImapValue>& pairs, const char* key) {
    for (qsizetype i = 0; i + 1 < pairs.size(); i += 2)
        if (pairs[i].Is(key)) return &pairs[i + 1];
    return nullptr;
}

namespace {

constexpr int kMaxDepth = 64;
// A line is at most 64 KiB, but literals let a response hold many; this
// keeps what one response can cost to a few megabytes.
constexpr int kMaxValues = 1 << 16;

bool IsStatus(const QByteArray& word) {
    return word == "OK" || word == "NO" || word == "BAD" || word == "BYE" || word == "PREAUTH";
}

// Tags, names and code names: atom characters, without brackets.
bool IsWordChar(char c) {
    const auto u = uchar(c);
    return u > ' ' && u != 0x7f && std::strchr("(){\"%*\\[]", c) == nullptr;
}

class Reader {
public:
    explicit Reader(const QByteArray& raw) : s_(raw) {}
    std::optional<ImapResponse> Response();

private:
    char Peek() const { return p_ < s_.size() ? s_.at(p_) : '\0'; }
    bool AtEnd() const;
    bool AtCloser(char closer) const { return closer != '\0' ? Peek() == closer : AtEnd(); }
    QByteArray Word();
    bool Values(QList<ImapValue>& out, char closer, int depth);
    bool Value(ImapValue& out, char closer, int depth);
    bool Atom(QByteArray& out, char closer);
    bool Quoted(QByteArray& out);
    bool Literal(QByteArray& out);
    bool StatusText(ImapResponse& r);
    bool Numbers(QList<quint64>& out);
    void Code(ImapResponse& r);

    const QByteArray& s_;
    qsizetype p_ = 0;
    int values_ = 0;
};

// The line end that closes the response; any other is only allowed after a
// literal marker.
bool Reader::AtEnd() const {
    const qsizetype left = s_.size() - p_;
    return (left == 1 && s_.at(p_) == '\n') || (left == 2 && s_.at(p_) == '\r' && s_.at(p_ + 1) == '\n');
}

QByteArray Reader::Word() {
    const qsizetype start = p_;
    while (p_ < s_.size() && IsWordChar(s_.at(p_))) ++p_;
    return s_.mid(start, p_ - start);
}

// Items apart by spaces up to the closer (')' or ']', left in place) or, with
// none, up to the line end. Runs of spaces are allowed; some servers send them.
bool Reader::Values(QList<ImapValue>& out, char closer, int depth) {
    for (;;) {
        while (Peek() == ' ') ++p_;
        if (AtCloser(closer)) return true;
        ImapValue v;
        if (!Value(v, closer, depth)) return false;
        out.append(std::move(v));
        if (Peek() != ' ' && !AtCloser(closer)) return false;
    }
}

bool Reader::Value(ImapValue& out, char closer, int depth) {
    if (++values_ > kMaxValues) return false;
    const char c = Peek();
    if (c == '(') {
        if (depth >= kMaxDepth) return false;
        ++p_;
        out.kind = ImapValue::Kind::List;
        if (!Values(out.list, ')', depth + 1)) return false;
        ++p_;
        return true;
    }
    if (c == '"') {
        out.kind = ImapValue::Kind::String;
        return Quoted(out.text);
    }
    if (c == '{' || (c == '~' && p_ + 1 < s_.size() && s_.at(p_ + 1) == '{')) {
        out.kind = ImapValue::Kind::String;
        return Literal(out.text);
    }
    if (!Atom(out.text, closer)) return false;
    if (out.text.compare("NIL", Qt::CaseInsensitive) == 0) {
        out.kind = ImapValue::Kind::Nil;
        out.text.clear();
    }
    return true;
}

// A bracketed section after a name belongs to it, spaces and parentheses
// included: BODY[HEADER.FIELDS (FROM SUBJECT)] is one key.
bool Reader::Atom(QByteArray& out, char closer) {
    const qsizetype start = p_;
    while (p_ < s_.size()) {
        const char c = s_.at(p_);
        if (c == '[') {
            for (++p_; p_ < s_.size() && s_.at(p_) != ']'; ++p_)
                if (s_.at(p_) == '\r' || s_.at(p_) == '\n') return false;
            if (p_ == s_.size()) return false;
            ++p_;
            continue;
        }
        if (uchar(c) <= ' ' || uchar(c) == 0x7f || c == closer || std::strchr("(){\"", c) != nullptr) break;
        ++p_;
    }
    out = s_.mid(start, p_ - start);
    return p_ > start;
}

bool Reader::Quoted(QByteArray& out) {
    ++p_;
    while (p_ < s_.size()) {
        char c = s_.at(p_++);
        if (c == '"') return true;
        if (c == '\\') {
            if (p_ == s_.size()) return false;
            c = s_.at(p_++);
        }
        if (c == '\r' || c == '\n') return false;
        out.append(c);
    }
    return false;
}

// "{n}" or "{n+}" (or RFC 9051's "~{n}"), its line end, then exactly n bytes.
bool Reader::Literal(QByteArray& out) {
    if (Peek() == '~') ++p_;
    ++p_;
    const qsizetype digits = p_;
    qsizetype n = 0;
    for (; p_ < s_.size() && s_.at(p_) >= '0' && s_.at(p_) <= '9'; ++p_) {
        n = n * 10 + (s_.at(p_) - '0');
        if (n > s_.size()) return false;
    }
    if (p_ == digits) return false;
    if (Peek() == '+') ++p_;
    if (Peek() != '}') return false;
    ++p_;
    if (Peek() == '\r') ++p_;
    if (Peek() != '\n') return false;
    ++p_;
    if (n > s_.size() - p_) return false;
    out = s_.mid(p_, n);
    p_ += n;
    return true;
}

// After a status word or "+": nothing, or a space, an optional [code] and
// text up to the line end.
bool Reader::StatusText(ImapResponse& r) {
    if (AtEnd()) return true;
    if (Peek() != ' ') return false;
    ++p_;
    if (Peek() == '[') Code(r);
    const qsizetype start = p_;
    while (p_ < s_.size() && s_.at(p_) != '\r' && s_.at(p_) != '\n') ++p_;
    r.text = s_.mid(start, p_ - start);
    return AtEnd();
}

// A response code. Codes this reader cannot take apart are kept as one atom
// of their text (RFC 9051 allows any text up to "]"); with no "]" on the
// line it is no code at all, and the "[" stays to be read as text.
void Reader::Code(ImapResponse& r) {
    const qsizetype open = p_++;
    const QByteArray name = Word();
    QList<ImapValue> values;
    if (!name.isEmpty() && Peek() == ' ') {
        const qsizetype start = ++p_;
        if (!Values(values, ']', 0)) {
            values.clear();
            p_ = start;
            while (p_ < s_.size() && s_.at(p_) != ']' && s_.at(p_) != '\r' && s_.at(p_) != '\n') ++p_;
            values.append(ImapValue{ImapValue::Kind::Atom, s_.mid(start, p_ - start), {}});
        }
    }
    if (name.isEmpty() || Peek() != ']') {
        p_ = open;
        return;
    }
    ++p_;
    r.code = name.toUpper();
    r.codeValues = std::move(values);
    while (Peek() == ' ') ++p_;
}

std::optional<ImapResponse> Reader::Response() {
    ImapResponse r;
    const char first = Peek();
    if (first == '+') {
        r.kind = ImapResponse::Kind::Continuation;
        ++p_;
        if (!StatusText(r)) return std::nullopt;
        return r;
    }
    if (first != '*') {
        r.kind = ImapResponse::Kind::Tagged;
        r.tag = Word();
        if (r.tag.isEmpty() || r.tag.contains('+') || Peek() != ' ') return std::nullopt;
        ++p_;
        r.name = Word().toUpper();
        if (r.name != "OK" && r.name != "NO" && r.name != "BAD") return std::nullopt;
        r.status = r.name;
        if (!StatusText(r)) return std::nullopt;
        return r;
    }
    ++p_;
    if (Peek() != ' ') return std::nullopt;
    ++p_;
    QByteArray word = Word();
    if (!word.isEmpty() && word.at(0) >= '0' && word.at(0) <= '9') {
        r.number = ImapValue{ImapValue::Kind::Atom, word, {}}.Number();
        if (!r.number || Peek() != ' ') return std::nullopt;
        ++p_;
        word = Word();
    }
    r.name = word.toUpper();
    if (r.name.isEmpty()) return std::nullopt;
    if (!r.number && IsStatus(r.name)) {
        r.status = r.name;
        if (!StatusText(r)) return std::nullopt;
        return r;
    }
    if (AtEnd()) return r;
    if (Peek() != ' ') return std::nullopt;
    // A SEARCH of a big inbox holds more numbers than any other response
    // holds values; anything but numbers is read the general way.
    if (!r.number && r.name == "SEARCH") {
        const qsizetype start = p_;
        if (Numbers(r.numbers)) return r;
        r.numbers.clear();
        p_ = start;
    }
    if (!Values(r.values, '\0', 0)) return std::nullopt;
    return r;
}

bool Reader::Numbers(QList<quint64>& out) {
    for (;;) {
        while (Peek() == ' ') ++p_;
        if (AtEnd()) return true;
        const QByteArray word = Word();
        const std::optional<quint64> n = ImapValue{ImapValue::Kind::Atom, word, {}}.Number();
        if (!n) return false;
        out.append(*n);
    }
}

}  // namespace

std::optional<ImapResponse> ParseImapResponse(const QByteArray& raw) { return Reader(raw).Response(); }

}  // namespace velmio
