#pragma once

#include <QByteArray>
#include <optional>

namespace velmio {

// Collects what the server sends until a whole reply is there: a status
// line ends at its line feed; a "+OK" listing ends at its "." line. What
// follows a reply stays for the next one.
class Pop3ReplyBuffer {
public:
    void Append(const QByteArray& bytes) { data_.append(bytes); }
    void Clear();
    bool IsEmpty() const { return data_.isEmpty(); }

    // The next complete reply with its line ends, taken out of the buffer.
    std::optional<QByteArray> TakeReply(bool listing);

    // What is waiting can no longer become a reply of sane size: a status
    // line far beyond the 512 bytes POP3 allows, or a listing far beyond
    // what 32,767 messages take.
    bool Overlong() const;
    static constexpr qsizetype kMaxLine = qsizetype{64} * 1024;
    static constexpr qsizetype kMaxListing = qsizetype{16} * 1024 * 1024;

private:
    QByteArray TakeFront(qsizetype n);

    QByteArray data_;
    qsizetype listingScan_ = 0;  // line start where the search for "." resumes
};

}  // namespace velmio
