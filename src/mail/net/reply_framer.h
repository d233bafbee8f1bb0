#pragma once

#include <QByteArray>
#include <optional>

namespace velmio {

// Cuts what a server sends into whole replies, the way its protocol marks
// their ends. What follows a reply stays for the next one.
class ReplyFramer {
public:
    virtual ~ReplyFramer() = default;
    virtual void Append(const QByteArray& bytes) = 0;
    virtual void Clear() = 0;
    // The next complete reply, taken out of what has arrived.
    virtual std::optional<QByteArray> TakeReply() = 0;
    // What is waiting can no longer become a reply of sane size.
    virtual bool Overlong() const = 0;
};

}  // namespace velmio
