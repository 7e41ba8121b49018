#include "browser/qrimage.h"

#include <qrencode.h>

#include <memory>

namespace {

struct FreeCode
{
    void operator()(QRcode *code) const { QRcode_free(code); }
};

} // namespace

QImage qrImage(const QString &text, int scale)
{
    const std::unique_ptr<QRcode, FreeCode> code(
        QRcode_encodeString(text.toUtf8().constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1));
    if (!code || code->width <= 0 || scale <= 0)
        return {};
    constexpr int kQuiet = 4; // modules of white around it, as readers expect
    const int side = (code->width + 2 * kQuiet) * scale;
    QImage image(side, side, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            if ((code->data[y * code->width + x] & 1) == 0)
                continue;
            for (int dy = 0; dy < scale; ++dy) {
                uchar *line = image.scanLine((y + kQuiet) * scale + dy);
                std::fill_n(line + (x + kQuiet) * scale, scale, uchar(0));
            }
        }
    }
    return image;
}
