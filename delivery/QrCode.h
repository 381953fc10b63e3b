#pragma once
// A QR code of a text, as a square of modules, for the terminal and the
// window alike.

#include <string>
#include <vector>

namespace Delivery {

class QrCode {
public:
    // Encodes `text` (error correction level M); empty() when the text does
    // not fit into any QR version.
    explicit QrCode(const std::string& text);

    bool empty() const { return m_width == 0; }
    int width() const { return m_width; }
    bool dark(int x, int y) const { return m_modules[static_cast<size_t>(y) * m_width + x]; }

    // The code drawn with block characters, two module rows per line and a
    // quiet zone of four modules; dark modules are blocks. With `colours`
    // every line is set black on white, so the code reads right on a dark
    // terminal too.
    std::string terminalText(bool colours) const;

private:
    int m_width = 0;
    std::vector<bool> m_modules;
};

} // namespace Delivery
