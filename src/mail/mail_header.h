#pragma once

#include <QByteArray>
#include <QString>

namespace velmio {

// The sender and subject of one message, decoded for showing.
struct MailHeader {
    QString from;
    QString subject;
};

// Parses the header block of a message (bytes up to the empty line, as a POP3
// "TOP n 0" or IMAP header fetch returns them; may be cut anywhere, may use LF
// or CRLF, and is never trusted). From: the display name, else the part of
// the address before "@"; Subject: decoded text. Missing headers give
// empty strings. Only the first 64 KiB are read; a field is at most 1,000
// characters.
MailHeader ParseMailHeader(const QByteArray& header);

// RFC 2047 decoding of one unfolded header value (exposed for tests and the
// fuzzer): control characters become spaces, blanks at the ends are trimmed.
QString DecodeHeaderText(const QByteArray& value);

// Cuts text to at most maxChars QChars, ending in "…" when cut; the cut
// falls between characters as a reader sees them, never inside a surrogate
// pair or a combining sequence.
QString Elide(const QString& text, int maxChars);

}  // namespace velmio
