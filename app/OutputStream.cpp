#include "OutputStream.h"

#include <QTextCursor>
#include <QTextEdit>

namespace {

// Length of the incomplete UTF-8 sequence at the end of `bytes` (0 when the
// text ends on a character boundary or in bytes that are no UTF-8 at all,
// which the decoder then replaces).
size_t incompleteTail(const std::string& bytes)
{
    const size_t size = bytes.size();
    for (size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto c = static_cast<unsigned char>(bytes[size - back]);
        if ((c & 0xC0) == 0x80)
            continue; // continuation byte: look further back for the lead
        size_t needed = 0;
        if ((c & 0xE0) == 0xC0)
            needed = 2;
        else if ((c & 0xF0) == 0xE0)
            needed = 3;
        else if ((c & 0xF8) == 0xF0)
            needed = 4;
        return needed > back ? back : 0;
    }
    return 0;
}

} // namespace

OutputStream::OutputStream(QTextEdit* view, QObject* parent)
    : QObject(parent)
    , m_view(view)
{
    m_timer.setInterval(FlushIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &OutputStream::flushBatch);
}

void OutputStream::begin()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pending.clear();
    }
    m_carry.clear();
    m_backlog.clear();
    m_timer.start();
}

void OutputStream::push(const char* data, size_t size)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_pending.append(data, size);
}

void OutputStream::takePending()
{
    std::string bytes;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        bytes.swap(m_pending);
    }
    if (bytes.empty())
        return;
    bytes.insert(0, m_carry);
    const size_t tail = incompleteTail(bytes);
    m_carry = bytes.substr(bytes.size() - tail);
    bytes.resize(bytes.size() - tail);
    m_backlog += QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

void OutputStream::flushBatch()
{
    takePending();
    insertLines(false);
}

void OutputStream::finish()
{
    m_timer.stop();
    takePending();
    // A character cut off by the end of the output is shown as a replacement
    // character rather than dropped.
    m_backlog += QString::fromUtf8(m_carry.data(), qsizetype(m_carry.size()));
    m_carry.clear();
    insertLines(true);
}

void OutputStream::insertLines(bool all)
{
    // Each insertion takes a bounded number of lines: the layout work of one
    // huge insertion would freeze the window as surely as one per line.
    while (!m_backlog.isEmpty()) {
        qsizetype end = 0;
        for (int lines = 0; lines < BatchLines; ++lines) {
            const qsizetype newline = m_backlog.indexOf(QLatin1Char('\n'), end);
            if (newline < 0) {
                end = m_backlog.size();
                break;
            }
            end = newline + 1;
        }
        insert(m_backlog.left(end));
        m_backlog.remove(0, end);
        if (!all)
            break;
    }
}

void OutputStream::insert(const QString& text)
{
    // A cursor of our own at the end: the user may have clicked into the view
    // and moved its cursor meanwhile.
    QTextCursor cursor(m_view->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
}
