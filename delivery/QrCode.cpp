#include "delivery/QrCode.h"

#include <qrencode.h>

namespace Delivery {

QrCode::QrCode(const std::string& text)
{
    QRcode* code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
    if (!code)
        return;
    m_width = code->width;
    m_modules.resize(static_cast<size_t>(m_width) * m_width);
    for (size_t i = 0; i < m_modules.size(); ++i)
        m_modules[i] = code->data[i] & 1;
    QRcode_free(code);
}

std::string QrCode::terminalText(bool colours) const
{
    constexpr int quiet = 4;
    const int size = m_width + 2 * quiet;
    auto at = [&](int x, int y) {
        x -= quiet;
        y -= quiet;
        return x >= 0 && y >= 0 && x < m_width && y < m_width && dark(x, y);
    };
    std::string text;
    for (int y = 0; y < size; y += 2) {
        if (colours)
            text += "\033[30;47m";
        for (int x = 0; x < size; ++x) {
            const bool top = at(x, y), bottom = at(x, y + 1);
            text += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        if (colours)
            text += "\033[0m";
        text += "\n";
    }
    return text;
}

} // namespace Delivery
