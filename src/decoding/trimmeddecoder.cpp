#include "decoding/trimmeddecoder.h"

#include "decoding/samplegain.h"

#include <algorithm>
#include <cmath>
#include <vector>

TrimmedDecoder::TrimmedDecoder(std::unique_ptr<AudioDecoder> inner, const TrimFrames &trim)
    : m_inner(std::move(inner)),
      m_trim(trim)
{ }

std::unique_ptr<AudioDecoder> TrimmedDecoder::wrap(std::unique_ptr<AudioDecoder> decoder, const TrimFrames &trim)
{
    if (!decoder || trim.isPlain())
        return decoder;
    TrimFrames checked = trim;
    checked.in = std::max<qint64>(checked.in, 0);
    checked.fadeIn = std::max<qint64>(checked.fadeIn, 0);
    if (checked.out >= 0 && checked.out <= checked.in)
        return nullptr;
    // A fade-in longer than the part would keep the whole part near silence.
    if (checked.out >= 0)
        checked.fadeIn = std::min(checked.fadeIn, checked.out - checked.in);
    std::unique_ptr<TrimmedDecoder> trimmed(new TrimmedDecoder(std::move(decoder), checked));
    if (!trimmed->moveInnerTo(checked.in))
        return nullptr;
    return trimmed;
}

bool TrimmedDecoder::moveInnerTo(qint64 frame)
{
    if (frame == m_at && !m_inner->atEnd())
        return true;
    if (m_inner->seek(frame)) {
        m_at = frame;
        return true;
    }
    // A decoder that cannot seek is read up to the frame from its start (or from here).
    if (frame < m_at) {
        if (!m_inner->seek(0))
            return false;
        m_at = 0;
    }
    std::vector<char> scratch(size_t(16384 * m_inner->frameBytes()));
    while (m_at < frame) {
        const qint64 want = std::min<qint64>(frame - m_at, 16384) * m_inner->frameBytes();
        const qint64 got = m_inner->read(scratch.data(), want);
        if (got <= 0)
            return false;
        m_at += got / m_inner->frameBytes();
    }
    return true;
}

std::optional<qint64> TrimmedDecoder::exactLength()
{
    const std::optional<qint64> whole = m_inner->exactLength();
    m_at = 0; // exactLength() leaves the inner decoder at its start
    m_firstPass = true;
    m_ended = false;
    if (!whole || !moveInnerTo(m_trim.in))
        return std::nullopt;
    const qint64 end = m_trim.out >= 0 ? std::min(m_trim.out, *whole) : *whole;
    if (end <= m_trim.in)
        return std::nullopt;
    m_trim.fadeIn = std::min(m_trim.fadeIn, end - m_trim.in);
    return end - m_trim.in;
}

bool TrimmedDecoder::seek(qint64 frame)
{
    if (frame < 0 || !moveInnerTo(m_trim.in + frame))
        return false;
    m_ended = false;
    return true;
}

bool TrimmedDecoder::startPassAgain()
{
    // A pass that yielded nothing, or next to nothing, would loop for ever without a sound (or
    // as a buzz): a loop needs a part of kShortestLoopMs at least.
    if (!m_trim.loop || m_at - m_trim.in < std::max<qint64>(1, qint64(rate()) * kShortestLoopMs / 1000))
        return false;
    if (m_trim.out < 0 || m_at < m_trim.out)
        m_trim.out = m_at; // the file ended before out: the pass ends where the file does
    m_firstPass = false;
    return moveInnerTo(m_trim.in);
}

qint64 TrimmedDecoder::read(char *out, qint64 maxBytes)
{
    const qint64 frameBytes = m_inner->frameBytes();
    qint64 total = 0;
    while (!m_ended && total + frameBytes <= maxBytes) {
        qint64 wanted = (maxBytes - total) / frameBytes;
        if (m_trim.out >= 0)
            wanted = std::min(wanted, m_trim.out - m_at);
        const qint64 got = wanted > 0 ? m_inner->read(out + total, wanted * frameBytes) / frameBytes : 0;
        if (got > 0 && m_firstPass && m_at - m_trim.in < m_trim.fadeIn) {
            const qint64 from = m_at - m_trim.in;
            const auto length = double(m_trim.fadeIn);
            scaleFrames(out + total, got, channels(), sampleFormat() == SampleFormat::Float32, [&](qint64 f) {
                const qint64 frame = from + f;
                return frame >= m_trim.fadeIn ? 1.0 : 0.5 * (1.0 - std::cos(M_PI * double(frame) / length));
            });
        }
        m_at += got;
        total += got * frameBytes;
        if (got == 0 && !startPassAgain())
            m_ended = true;
    }
    return total;
}
