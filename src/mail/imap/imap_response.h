#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

#include "mail/net/reply_framer.h"

namespace velmio {

// Cuts what an IMAP server sends into whole responses: a response ends at a
// line feed, except that a line ending in a literal marker "{n}" (or "{n+}")
// goes on for n bytes of literal data and then more line.
class ImapReplyFramer final : public ReplyFramer {
public:
    void Append(const QByteArray& bytes) override;
    void Clear() override;
    // The next whole response with its line ends and literal bytes.
    std::optional<QByteArray> TakeReply() override;
    // A line beyond kMaxLine (counted from the last literal), a literal
    // beyond kMaxLiteral or a response beyond kMaxResponse in all; it stays
    // so until Clear().
    bool Overlong() const override { return overlong_; }

    // A SEARCH of a big mailbox is one long line: room for half a million UIDs.
    static constexpr qsizetype kMaxLine = qsizetype{4} * 1024 * 1024;
    static constexpr qsizetype kMaxLiteral = qsizetype{16} * 1024 * 1024;
    static constexpr qsizetype kMaxResponse = qsizetype{16} * 1024 * 1024;

private:
    void Scan();
    qsizetype LiteralBefore(qsizetype lineFeed) const;

    QByteArray data_;
    qsizetype lineStart_ = 0;  // where the line goes on after the last literal
    qsizetype scan_ = 0;       // where the search for its line feed resumes
    qsizetype end_ = -1;       // end of the first response, once it is whole
    bool overlong_ = false;
};

struct ImapValue {
    enum class Kind { Atom, String, Nil, List };
    Kind kind = Kind::Atom;
    QByteArray text;        // the atom (numbers are atoms), or the quoted/literal string's bytes, unescaped
    QList<ImapValue> list;  // for List
    // Atom made only of digits, fitting 64 bits: its value; else nullopt.
    std::optional<quint64> Number() const;
    // Case-insensitive comparison of an atom's text.
    bool Is(const char* atom) const;
};

struct ImapResponse {
    enum class Kind { Tagged, Untagged, Continuation };
    Kind kind = Kind::Untagged;
    QByteArray tag;                 // Tagged: the tag
    QByteArray status;              // OK / NO / BAD / BYE / PREAUTH, upper-cased, for a status response; else empty
    std::optional<quint64> number;  // "* 23 EXISTS" / "* 4 FETCH (...)": 23 / 4
    QByteArray name;                // upper-cased: the status word, else the data name (EXISTS, FETCH, STATUS, ...)
    QByteArray code;                // the response code's name upper-cased ("ALERT", "UIDVALIDITY"); empty when none
    QList<ImapValue> codeValues;    // what follows the code name inside [ ]
    QList<ImapValue> values;        // data responses: everything after the name
    QList<quint64> numbers;         // SEARCH: its numbers, read flat and not held to the values' cap
    QByteArray text;                // human-readable text of status responses and continuations
};

// One whole response as ImapReplyFramer gives it; nothing when it is not a
// valid response.
std::optional<ImapResponse> ParseImapResponse(const QByteArray& raw);

// A list of (key, value) pairs as in STATUS/FETCH data, e.g. (MESSAGES 3
// UNSEEN 1): the value of a key, case-insensitive; nullptr when absent.
const ImapValue* FindItem(const QList<ImapValue>& pairs, const char* key);

}  // namespace velmio
