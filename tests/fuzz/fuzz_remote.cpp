// The browser remote's two readers on arbitrary bytes: an HTTP request head (bounded, its path
// always absolute and without a query, never past what arrived) and a page's message (only the
// kinds and ranges the remote acts on).
#include "browser/httprequest.h"
#include "browser/remoteprotocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    if (data[0] & 1) {
        HttpRequest request;
        if (request.parse(bytes) == HttpRequest::Status::Complete) {
            if (!request.path().startsWith('/') || request.path().contains('?') || request.path().contains(' ')
                || request.headLength() > bytes.size() || request.headLength() > HttpRequest::kMaxHeadBytes)
                std::abort();
        }
        return 0;
    }
    QString why;
    const std::optional<RemoteProtocol::Message> message = RemoteProtocol::parse(bytes, &why);
    if (!message) {
        if (why.isEmpty())
            std::abort(); // refused without a word
        return 0;
    }
    using Kind = RemoteProtocol::Message::Kind;
    if (message->seq < 0 || (message->kind == Kind::Press && (message->slot < 1 || message->slot > 12))
        || (message->kind == Kind::Page && (message->page < 1 || message->page > 99))
        || (message->kind == Kind::Hello && (message->token.isEmpty() || message->token.size() > 64))
        || message->name.size() > 64)
        std::abort();
    return 0;
}
