#pragma once

#include <QByteArray>
#include <optional>

#include "mail/net/reply_framer.h"

namespace velmio {

// Collects what the server sends until a whole reply is there: a status
// line ends at its line feed; a "+OK" listing ends at its "." line. What
// follows a reply stays for the next one.
class Pop3ReplyBuffer final : public ReplyFramer {
public:
    void Append(const QByteArray& bytes) override { data_.append(bytes); }
    void Clear() override;
    bool IsEmpty() const { return data_.isEmpty(); }

    // Whether the reply to the command just sent runs to a "." line.
    void ExpectListing(bool listing) { listing_ = listing; }
    std::optional<QByteArray> TakeReply() override { return TakeReply(listing_); }

    // The next complete reply with its line ends, taken out of the buffer.
    std::optional<QByteArray> TakeReply(bool listing);

    // What is waiting can no longer become a reply of sane size: a status
    // line far beyond the 512 bytes POP3 allows, or a listing far beyond
    // what 32,767 messages take.
    bool Overlong() const override;
    static constexpr qsizetype kMaxLine = qsizetype{64} * 1024;
    static constexpr qsizetype kMaxListing = qsizetype{16} * 1024 * 1024;

private:
    QByteArray TakeFront(qsizetype n);

    QByteArray data_;
    bool listing_ = false;
    qsizetype listingScan_ = 0;  // line start where the search for "." resumes
};

}  // namespace velmio
