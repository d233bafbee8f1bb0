#include "mail/mail_header.h"

#include <QStringDecoder>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace velmio {
namespace {

constexpr qsizetype kMaxHeaderBytes = qsizetype(64) * 1024;
constexpr int kMaxFieldChars = 1000;
constexpr char kEsc = '\x1b';

// How the bytes outside encoded words are read.
enum class Raw { Utf8, Cp932, Jis };

bool IsCp932Lead(uchar c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsCp932Trail(uchar c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsAscii(QByteArrayView b) {
    for (const char c : b)
        if (uchar(c) >= 0x80) return false;
    return true;
}

Raw RawOf(const QByteArray& b) {
    for (qsizetype i = 0; i + 1 < b.size(); ++i)
        if (b[i] == kEsc && (b[i + 1] == '$' || b[i + 1] == '(')) return Raw::Jis;
    if (IsAscii(b)) return Raw::Utf8;
    // Stateful, so a character cut by the end of the header is no error...
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(b);
    if (utf8.hasError()) return Raw::Cp932;
    // ...but a cut character alone is no evidence of UTF-8.
    for (const QChar c : text)
        if (c.unicode() >= 0x80) return Raw::Utf8;
    return Raw::Cp932;
}

// Bytes inside a multi-byte character or a shift sequence: there a quote, a
// backslash or "=?" is text, not syntax (CP932 trail bytes include '\',
// JIS X 0208 pairs any of them).
std::vector<bool> TextBytes(const QByteArray& b, Raw raw) {
    const qsizetype n = b.size();
    std::vector<bool> text(size_t(n), false);
    bool wide = false;  // ISO-2022-JP: shifted out of ASCII
    for (qsizetype i = 0; i < n;) {
        const auto c = uchar(b[i]);
        if (raw == Raw::Jis && c == uchar(kEsc)) {
            qsizetype j = i + 1;
            while (j < n && uchar(b[j]) >= 0x20 && uchar(b[j]) <= 0x2F) ++j;
            if (j < n && uchar(b[j]) >= 0x30 && uchar(b[j]) <= 0x7E) ++j;
            wide = (i + 1 < n && b[i + 1] == '$') || (i + 2 < n && b[i + 1] == '(' && b[i + 2] == 'I');
            for (; i < j; ++i) text[size_t(i)] = true;
            continue;
        }
        if (c >= 0x80 || (wide && c >= 0x21 && c <= 0x7E)) text[size_t(i)] = true;
        if (raw == Raw::Cp932 && IsCp932Lead(c) && i + 1 < n && IsCp932Trail(uchar(b[i + 1]))) text[size_t(++i)] = true;
        ++i;
    }
    return text;
}

// Charset names as mails give them, mapped to what ICU knows by a wider
// table: mailers label CP932 as Shift_JIS and GBK as GB2312.
QByteArray CanonicalCharset(QByteArray name) {
    name = name.toLower();
    if (name == "shift_jis" || name == "shift-jis" || name == "sjis" || name == "x-sjis" || name == "cp932" ||
        name == "ms_kanji" || name == "x-ms-cp932")
        return "windows-31j";
    if (name == "gb2312") return "gbk";
    return name;
}

// The decoders one value asks for, each looked up once.
class Charsets {
public:
    // Null when Qt does not know the charset.
    QStringDecoder* Find(const QByteArray& name) {
        auto [it, added] = decoders_.try_emplace(CanonicalCharset(name));
        if (added) {
            auto decoder = std::make_unique<QStringDecoder>(it->first.constData(), QStringConverter::Flag::Stateless);
            if (decoder->isValid()) it->second = std::move(decoder);
        }
        return it->second.get();
    }

private:
    std::map<QByteArray, std::unique_ptr<QStringDecoder>> decoders_;
};

QString Decode(QStringDecoder& decoder, const QByteArray& bytes) {
    QString text = decoder(bytes);
    // ICU marks bytes its table lacks with SUB, which would read as a blank.
    text.replace(QChar(0x1A), QChar::ReplacementCharacter);
    return text;
}

QString DecodeRaw(const QByteArray& b, Raw raw) {
    if (IsAscii(b) && (raw != Raw::Jis || !b.contains(kEsc))) return QString::fromLatin1(b);
    if (raw == Raw::Utf8) return QStringDecoder(QStringDecoder::Utf8)(b);
    QStringDecoder decoder(raw == Raw::Jis ? "ISO-2022-JP" : "windows-31j", QStringConverter::Flag::Stateless);
    return Decode(decoder, b);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<QByteArray> FromQ(const QByteArray& text) {
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            bytes += ' ';
        } else if (text[i] == '=') {
            const int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
            const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
            if (low < 0) return std::nullopt;
            bytes += char(high * 16 + low);
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

std::optional<QByteArray> FromB(QByteArray text) {
    // Padding is often missing or wrong; a lone sixth of a byte is not.
    while (text.endsWith('=')) text.chop(1);
    if (text.size() % 4 == 1) return std::nullopt;
    auto result = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!result) return std::nullopt;
    return std::move(*result);
}

bool IsCharsetChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == ':' || c == '+' || c == '*';
}

struct Word {
    qsizetype end = 0;                 // 0: no encoded word here
    QStringDecoder* decoder = nullptr;  // null: shown as it stands
    QByteArray bytes;
};

// The encoded word "=?charset?B|Q?text?=" starting at b[at].
Word ParseWord(const QByteArray& b, const std::vector<bool>& text, qsizetype at, Charsets& charsets) {
    const qsizetype n = b.size();
    qsizetype i = at + 2;
    while (i < n && !text[size_t(i)] && IsCharsetChar(b[i])) ++i;
    QByteArray charset = b.mid(at + 2, i - at - 2);
    if (charset.isEmpty() || i + 3 >= n || text[size_t(i)] || b[i] != '?' || text[size_t(i + 2)] || b[i + 2] != '?')
        return {};
    const char encoding = char(b[i + 1] | 0x20);
    if (encoding != 'b' && encoding != 'q') return {};
    const qsizetype from = i += 3;
    while (i < n && !text[size_t(i)] && b[i] > ' ' && b[i] < 0x7F && b[i] != '?') ++i;
    if (i + 1 >= n || text[size_t(i)] || b[i] != '?' || text[size_t(i + 1)] || b[i + 1] != '=') return {};
    Word word;
    word.end = i + 2;
    if (const qsizetype star = charset.indexOf('*'); star >= 0) charset.truncate(star);  // RFC 2231 language
    const QByteArray encoded = b.mid(from, i - from);
    auto bytes = encoding == 'b' ? FromB(encoded) : FromQ(encoded);
    if (bytes && !charset.isEmpty()) word.decoder = charsets.Find(charset);
    if (word.decoder) word.bytes = std::move(*bytes);
    return word;
}

QString Tidy(const QString& text) {
    QString out;
    out.reserve(text.size());
    bool blank = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            if (!blank) out += u' ';
            blank = true;
            continue;
        }
        blank = false;
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else {
            out += c.isSurrogate() ? QChar(QChar::ReplacementCharacter) : c;
        }
    }
    return out.trimmed();
}

QString DecodeText(const QByteArray& b, Raw raw) {
    const std::vector<bool> text = TextBytes(b, raw);
    Charsets charsets;
    QString out;
    // Encoded words in a row, with only blanks between them, are joined as
    // bytes: mailers split characters across them.
    QStringDecoder* decoder = nullptr;
    QByteArray bytes;
    qsizetype wordsFrom = 0;
    qsizetype rawFrom = 0;  // the text since the last encoded word
    const auto flush = [&] {
        if (!decoder) return;
        const QString decoded = Decode(*decoder, bytes);
        // Bytes that come to nothing (a bare shift, half a character) show as sent.
        out += decoded.isEmpty() && !bytes.isEmpty() ? QString::fromLatin1(b.mid(wordsFrom, rawFrom - wordsFrom))
                                                     : decoded;
        decoder = nullptr;
    };
    for (qsizetype i = 0; i + 1 < b.size();) {
        if (text[size_t(i)] || b[i] != '=' || b[i + 1] != '?') {
            ++i;
            continue;
        }
        Word word = ParseWord(b, text, i, charsets);
        if (!word.end) {
            ++i;
            continue;
        }
        if (word.decoder) {
            const QByteArray gap = b.mid(rawFrom, i - rawFrom);
            const bool joined = decoder && std::all_of(gap.begin(), gap.end(), IsBlank);
            if (!joined || word.decoder != decoder) {
                flush();
                if (!joined) out += DecodeRaw(gap, raw);
                decoder = word.decoder;
                bytes.clear();
                wordsFrom = i;
            }
            bytes += word.bytes;
            rawFrom = word.end;
        }
        i = word.end;
    }
    flush();
    out += DecodeRaw(b.mid(rawFrom), raw);
    return Tidy(out);
}

// The first mailbox of an address list, with quotes and escapes undone.
struct Mailbox {
    QByteArray phrase;  // the display name, or a bare address
    QByteArray address;
    QByteArray comment;
    bool angle = false;
};

// Reads a quoted string or comment opened just before b[i] and returns where it ends.
qsizetype ReadQuoted(const QByteArray& b, const std::vector<bool>& text, qsizetype i, QByteArray& out) {
    const bool comment = b[i - 1] == '(';
    int depth = 1;
    for (; i < b.size(); ++i) {
        const char c = b[i];
        if (!text[size_t(i)]) {
            if (c == '\\' && i + 1 < b.size()) {
                out += b[++i];
                continue;
            }
            if (!comment && c == '"') return i + 1;
            if (comment && c == '(') ++depth;
            if (comment && c == ')' && --depth == 0) return i + 1;
        }
        out += c;
    }
    return i;
}

Mailbox FirstMailbox(const QByteArray& b, const std::vector<bool>& text) {
    Mailbox m;
    for (qsizetype i = 0; i < b.size();) {
        const char c = b[i];
        if (text[size_t(i)] || (c != '"' && c != '(' && c != '<' && c != ',')) {
            m.phrase += c;
            ++i;
        } else if (c == '"') {
            i = ReadQuoted(b, text, i + 1, m.phrase);
        } else if (c == '(') {
            QByteArray comment;
            i = ReadQuoted(b, text, i + 1, comment);
            if (m.comment.trimmed().isEmpty()) m.comment = comment;
            m.phrase += ' ';
        } else if (c == '<') {
            qsizetype end = i + 1;
            while (end < b.size() && (text[size_t(end)] || b[end] != '>')) ++end;
            if (!m.angle) m.address = b.mid(i + 1, end - i - 1);
            m.angle = true;
            i = end + 1;
        } else {
            if (m.angle || !m.phrase.trimmed().isEmpty()) break;
            ++i;  // an empty list member
        }
    }
    return m;
}

// "taro" for taro@example.jp: how people call a sender who gave no name.
QString LocalPart(const QString& address) {
    const qsizetype at = address.lastIndexOf(u'@');
    // Trimmed: "taro @example.jp" is still taro, with no blank before さん.
    return at > 0 ? address.left(at).trimmed() : address;
}

QString SenderName(const QByteArray& value) {
    const Raw raw = RawOf(value);
    const Mailbox m = FirstMailbox(value, TextBytes(value, raw));
    const QString address = DecodeText(m.address, raw);
    // "addr (Name)": the comment names the sender; a bare address stands in
    // the phrase.
    const QByteArray* names[] = {m.angle ? &m.phrase : &m.comment, m.angle ? &m.comment : &m.phrase};
    for (const QByteArray* bytes : names) {
        const QString name = DecodeText(*bytes, raw);
        if (name.isEmpty()) continue;
        const bool isAddress = !m.angle ? bytes == &m.phrase : name.compare(address, Qt::CaseInsensitive) == 0;
        return isAddress ? LocalPart(name) : name;
    }
    return LocalPart(address);
}

}  // namespace

MailHeader ParseMailHeader(const QByteArray& header) {
    const QByteArray head = header.left(kMaxHeaderBytes);
    std::optional<QByteArray> from;
    std::optional<QByteArray> subject;
    QByteArray* field = nullptr;  // the field that continuation lines extend
    for (qsizetype pos = 0; pos < head.size();) {
        qsizetype end = head.indexOf('\n', pos);
        if (end < 0) end = head.size();
        QByteArray line = head.mid(pos, end - pos);
        pos = end + 1;
        if (line.endsWith('\r')) line.chop(1);
        if (line.isEmpty()) break;
        if (line[0] == ' ' || line[0] == '\t') {
            if (field) field->append(line);
            continue;
        }
        field = nullptr;
        if (from && subject) break;
        const qsizetype colon = line.indexOf(':');
        if (colon < 0) continue;
        const QByteArray name = line.left(colon).trimmed();
        // The first of each wins.
        std::optional<QByteArray>* slot = name.compare("From", Qt::CaseInsensitive) == 0      ? &from
                                          : name.compare("Subject", Qt::CaseInsensitive) == 0 ? &subject
                                                                                                : nullptr;
        if (slot && !*slot) field = &slot->emplace(line.mid(colon + 1));
    }
    return {from ? Elide(SenderName(*from), kMaxFieldChars) : QString(),
            subject ? Elide(DecodeHeaderText(*subject), kMaxFieldChars) : QString()};
}

QString DecodeHeaderText(const QByteArray& value) { return DecodeText(value, RawOf(value)); }

QString Elide(const QString& text, int maxChars) {
    if (text.size() <= maxChars) return text;
    if (maxChars <= 0) return {};
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    characters.setPosition(maxChars - 1);
    const qsizetype keep = characters.isAtBoundary() ? characters.position() : characters.toPreviousBoundary();
    return text.left(qMax<qsizetype>(keep, 0)) + QChar(0x2026);
}

}  // namespace velmio
