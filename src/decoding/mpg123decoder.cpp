#include "decoding/mpg123decoder.h"

#include <mpg123.h>

#include <QFileInfo>
#include <QObject>

#include <cstdio>
#include <cstring>

namespace {

// Large enough that a scan of a long file costs a few hundred reads rather than two per frame.
constexpr qsizetype kReadBufferBytes = 256 * 1024;

using Source = Mpg123Decoder::Source;

mpg123_ssize_t sourceRead(void *handle, void *out, size_t count)
{
    auto *source = static_cast<Source *>(handle);
    auto *dest = static_cast<char *>(out);
    size_t copied = 0;
    while (copied < count) {
        const qint64 offset = source->position - source->bufferStart;
        if (offset >= 0 && offset < source->bufferFill) {
            const size_t n = std::min<size_t>(count - copied, size_t(source->bufferFill - offset));
            std::memcpy(dest + copied, source->buffer.data() + offset, n);
            copied += n;
            source->position += qint64(n);
            continue;
        }
        // A large request goes straight to the file rather than through the buffer.
        if (count - copied >= size_t(kReadBufferBytes)) {
            if (!source->file.seek(source->position))
                return copied > 0 ? mpg123_ssize_t(copied) : -1;
            const qint64 n = source->file.read(dest + copied, qint64(count - copied));
            if (n < 0)
                return copied > 0 ? mpg123_ssize_t(copied) : -1;
            copied += size_t(n);
            source->position += n;
            break;
        }
        if (!source->file.seek(source->position))
            return copied > 0 ? mpg123_ssize_t(copied) : -1;
        const qint64 n = source->file.read(source->buffer.data(), kReadBufferBytes);
        if (n < 0)
            return copied > 0 ? mpg123_ssize_t(copied) : -1;
        source->bufferStart = source->position;
        source->bufferFill = qsizetype(n);
        if (n == 0)
            break;
    }
    return mpg123_ssize_t(copied);
}

off_t sourceSeek(void *handle, off_t offset, int whence)
{
    auto *source = static_cast<Source *>(handle);
    qint64 target = 0;
    switch (whence) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = source->position + offset;
        break;
    case SEEK_END:
        target = source->file.size() + offset;
        break;
    default:
        return -1;
    }
    if (target < 0)
        return -1;
    source->position = target;
    return off_t(target);
}

bool check(int result, mpg123_handle *handle, const QString &step, QString *errorMessage)
{
    if (result == MPG123_OK)
        return true;
    if (errorMessage)
        *errorMessage = QObject::tr("%1: %2").arg(step, QString::fromUtf8(mpg123_strerror(handle)));
    return false;
}

} // namespace

void Mpg123Decoder::HandleDeleter::operator()(mpg123_handle_struct *handle) const
{
    mpg123_close(handle);
    mpg123_delete(handle);
}

Mpg123Decoder::Mpg123Decoder() = default;

Mpg123Decoder::~Mpg123Decoder() = default;

bool Mpg123Decoder::open(const QString &path, QString *errorMessage)
{
    m_handle.reset();
    m_ended = true;
    m_source = std::make_unique<Source>();
    m_source->file.setFileName(path);
    // Only regular files: opening a FIFO or a device could block or never end.
    if (path.isEmpty() || !QFileInfo(path).isFile() || !m_source->file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)
        || m_source->file.isSequential()) {
        if (errorMessage)
            *errorMessage = QObject::tr("Cannot open %1").arg(path);
        return false;
    }
    m_source->buffer.resize(kReadBufferBytes);

    int error = MPG123_OK;
    m_handle.reset(mpg123_new(nullptr, &error));
    if (!m_handle) {
        if (errorMessage)
            *errorMessage = QObject::tr("Cannot create an MPEG decoder");
        return false;
    }
    mpg123_handle *h = m_handle.get();
    mpg123_param(h, MPG123_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    mpg123_format_none(h);
    const long *rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);

    if (!check(mpg123_replace_reader_handle(h, sourceRead, sourceSeek, nullptr), h, QObject::tr("Reader"), errorMessage)
        || !check(mpg123_open_handle(h, m_source.get()), h, path, errorMessage))
        return false;

    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (!check(mpg123_getformat(h, &rate, &channels, &encoding), h, path, errorMessage))
        return false;
    if (rate <= 0 || (channels != 1 && channels != 2)) {
        if (errorMessage)
            *errorMessage = QObject::tr("%1: unsupported audio format").arg(path);
        return false;
    }
    m_rate = int(rate);
    m_channels = channels;
    m_ended = false;
    return true;
}

std::optional<qint64> Mpg123Decoder::exactLength()
{
    if (!m_handle || mpg123_scan(m_handle.get()) != MPG123_OK)
        return std::nullopt;
    mpg123_handle *h = m_handle.get();
    off_t length = mpg123_length(h);
    if (length < 0)
        return std::nullopt;
    const off_t frameCount = mpg123_framelength(h);
    if (frameCount > 1) {
        if (const std::optional<qint64> cut = samplesBeforeFormatChange(frameCount))
            length = std::min<off_t>(length, off_t(*cut));
        if (mpg123_seek(h, 0, SEEK_SET) < 0)
            return std::nullopt;
        m_ended = false;
    }
    return qint64(length);
}

namespace {

struct StreamFormat
{
    long rate = 0;
    int channels = 0;
    bool operator==(const StreamFormat &) const = default;
};

std::optional<StreamFormat> formatOfFrame(mpg123_handle *h, off_t frame)
{
    if (mpg123_seek_frame(h, frame, SEEK_SET) < 0)
        return std::nullopt;
    const int result = mpg123_framebyframe_next(h);
    mpg123_frameinfo info{};
    if ((result != MPG123_OK && result != MPG123_NEW_FORMAT) || mpg123_info(h, &info) != MPG123_OK)
        return std::nullopt;
    return StreamFormat{info.rate, info.mode == MPG123_M_MONO ? 1 : 2};
}

} // namespace

std::optional<qint64> Mpg123Decoder::samplesBeforeFormatChange(qint64 frameCount)
{
    // Files joined end to end (cat a.mp3 b.mp3) are the usual case: their last frame tells.
    mpg123_handle *h = m_handle.get();
    const std::optional<StreamFormat> last = formatOfFrame(h, off_t(frameCount - 1));
    if (!last || *last == StreamFormat{m_rate, m_channels})
        return std::nullopt;
    // Rare enough to count exactly what read() yields up to the change: the gapless trimming
    // of a part that ends at a change is not what the scan's total says.
    if (mpg123_seek(h, 0, SEEK_SET) < 0)
        return std::nullopt;
    m_ended = false;
    std::vector<char> scratch(size_t(64 * 1024));
    qint64 counted = 0;
    while (const qint64 bytes = read(scratch.data(), qint64(scratch.size())))
        counted += bytes / frameBytes();
    return counted;
}

bool Mpg123Decoder::seek(qint64 frame)
{
    if (!m_handle || frame < 0 || mpg123_scan(m_handle.get()) != MPG123_OK)
        return false;
    if (mpg123_seek(m_handle.get(), off_t(frame), SEEK_SET) != off_t(frame))
        return false;
    m_ended = false;
    return true;
}

qint64 Mpg123Decoder::read(char *out, qint64 maxBytes)
{
    if (m_ended || !m_handle)
        return 0;
    maxBytes -= maxBytes % frameBytes();
    qint64 total = 0;
    while (total < maxBytes) {
        size_t done = 0;
        const int result = mpg123_read(m_handle.get(), reinterpret_cast<unsigned char *>(out + total),
                                       size_t(maxBytes - total), &done);
        total += qint64(done);
        if (result == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            mpg123_getformat(m_handle.get(), &rate, &channels, &encoding);
            // The output was opened for one format; a stream that changes it mid-way ends here
            // rather than playing at the wrong speed.
            if (rate != m_rate || channels != m_channels) {
                m_ended = true;
                break;
            }
            continue;
        }
        if (result != MPG123_OK) {
            m_ended = true;
            break;
        }
        if (done == 0) {
            // No progress without an error would otherwise loop for ever.
            m_ended = true;
            break;
        }
    }
    return total - total % frameBytes();
}
