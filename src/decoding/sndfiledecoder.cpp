#include "decoding/sndfiledecoder.h"

#include <sndfile.h>

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <vector>

void SndfileDecoder::Closer::operator()(sf_private_tag *file) const
{
    sf_close(file);
}

SndfileDecoder::SndfileDecoder() = default;

SndfileDecoder::~SndfileDecoder() = default;

SndfileDecoder::Opened SndfileDecoder::open(const QString &path)
{
    m_file.reset();
    m_ended = true;
    // Only regular files: a FIFO or a device could block or never end.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return Opened::Unrecognised;
    SF_INFO info{};
    m_file.reset(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!m_file)
        return Opened::Unrecognised;
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
        m_file.reset();
        return Opened::Unrecognised;
    }
    if (info.samplerate <= 0 || info.channels < 1 || info.channels > 2) {
        m_file.reset();
        return Opened::Refused;
    }
    m_rate = info.samplerate;
    m_channels = info.channels;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
        m_format = SampleFormat::Float32;
        break;
    default:
        m_format = SampleFormat::Int16;
        break;
    }
    // Integer sources of 16 bits or fewer are read as they are: exact, and without a round trip
    // through floats for every sample (most of what a CD-quality FLAC costs beyond its decoding).
    const int subformat = info.format & SF_FORMAT_SUBMASK;
    m_shortsAsTheyAre = subformat == SF_FORMAT_PCM_16 || subformat == SF_FORMAT_PCM_S8 || subformat == SF_FORMAT_PCM_U8;
    m_statedFrames = (info.frames > 0 && info.frames < SF_COUNT_MAX) ? qint64(info.frames) : -1;
    m_ended = false;
    return Opened::Yes;
}

std::optional<qint64> SndfileDecoder::exactLength()
{
    if (!m_file)
        return std::nullopt;
    if (m_statedFrames > 0)
        return m_statedFrames;
    // No total in the header (a FLAC stream without one): count once by decoding.
    std::vector<float> scratch(size_t(8192 * m_channels));
    qint64 counted = 0;
    for (;;) {
        const sf_count_t frames = sf_readf_float(m_file.get(), scratch.data(), 8192);
        if (frames <= 0)
            break;
        counted += frames;
    }
    if (counted <= 0 || sf_seek(m_file.get(), 0, SEEK_SET) != 0)
        return std::nullopt;
    m_statedFrames = counted;
    m_ended = false;
    return counted;
}

bool SndfileDecoder::seek(qint64 frame)
{
    if (!m_file || frame < 0 || sf_seek(m_file.get(), sf_count_t(frame), SEEK_SET) != sf_count_t(frame))
        return false;
    m_ended = false;
    return true;
}

qint64 SndfileDecoder::read(char *out, qint64 maxBytes)
{
    if (m_ended || !m_file)
        return 0;
    // Read as normalised floats and scaled here: 16-bit sources come back exactly, wider ones
    // rounded, and float sources past full scale are held at the limit instead of wrapping.
    const sf_count_t wanted = sf_count_t(maxBytes / frameBytes());
    if (m_format == SampleFormat::Float32) {
        // Normalised by a power of two: a 24-bit sample is exactly representable.
        const sf_count_t frames = wanted > 0 ? sf_readf_float(m_file.get(), reinterpret_cast<float *>(out), wanted) : 0;
        if (frames <= 0) {
            m_ended = true;
            return 0;
        }
        return qint64(frames) * frameBytes();
    }
    if (m_shortsAsTheyAre) {
        const sf_count_t frames = wanted > 0 ? sf_readf_short(m_file.get(), reinterpret_cast<short *>(out), wanted) : 0;
        if (frames <= 0) {
            m_ended = true;
            return 0;
        }
        return qint64(frames) * frameBytes();
    }
    m_floats.resize(size_t(wanted * m_channels));
    const sf_count_t frames = wanted > 0 ? sf_readf_float(m_file.get(), m_floats.data(), wanted) : 0;
    if (frames <= 0) {
        m_ended = true;
        return 0;
    }
    auto *samples = reinterpret_cast<qint16 *>(out);
    for (sf_count_t i = 0; i < frames * m_channels; ++i)
        samples[i] = qint16(std::clamp(std::lrint(double(m_floats[size_t(i)]) * 32768.0), -32768L, 32767L));
    return qint64(frames) * frameBytes();
}
