#include "app/output/OutputStream.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <cstring>

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
    // A read-only view needs no undo, and with undo on the document keeps
    // every piece of text ever inserted, trimmed lines included.
    m_view->setUndoRedoEnabled(false);
    m_timer.setInterval(FlushIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &OutputStream::flushBatch);

    // Like a terminal: at the end, the view stays at the end as text comes
    // in; scrolled back, it stays where the user put it.
    QScrollBar* bar = m_view->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (!m_scrolling)
            m_follow = value >= bar->maximum();
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this] { followEnd(); });
}

void OutputStream::followEnd()
{
    if (!m_follow)
        return;
    QScrollBar* bar = m_view->verticalScrollBar();
    m_scrolling = true;
    bar->setValue(bar->maximum());
    m_scrolling = false;
}

void OutputStream::begin()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pending.clear();
        m_droppedPending = 0;
        m_cutPending = false;
    }
    m_carry.clear();
    m_backlog.clear();
    m_backlogStart = 0;
    m_timer.start();
}

void OutputStream::push(const char* data, size_t size)
{
    m_transcript.append(data, size);
    m_tally.feed(data, size);
    std::lock_guard<std::mutex> guard(m_lock);
    m_pending.append(data, size);
    if (m_pending.size() <= PendingLimit)
        return;
    // The view cannot keep up: the oldest waiting lines go (the transcript
    // has them), down to half the limit so this does not run on every read.
    size_t cut = m_pending.size() - PendingLimit / 2;
    const size_t newline = m_pending.find('\n', cut);
    if (newline != std::string::npos && newline - cut < PendingLimit / 4)
        cut = newline + 1;
    m_droppedPending += std::count(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(cut), '\n');
    m_pending.erase(0, cut);
    m_cutPending = true;
}

size_t OutputStream::pendingBytes() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pending.size();
}

void OutputStream::takePending(bool streaming)
{
    std::string bytes;
    bool cut = false;
    qint64 dropped = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        bytes.swap(m_pending);
        dropped = m_droppedPending;
        m_droppedPending = 0;
        cut = m_cutPending;
        m_cutPending = false;
    }
    if (cut) {
        // The lost text came after everything still waiting: that goes with
        // it, and what is left starts a line of its own after the gap.
        dropped += waitingLines();
        m_backlog.clear();
        m_backlogStart = 0;
        m_carry.clear();
        leaveOutAtEnd(dropped);
    }
    if (bytes.empty())
        return;
    if (!m_carry.empty())
        bytes.insert(0, m_carry);
    m_carry.clear();
    // While a tool floods the view, lines beyond a few ticks' worth would be
    // cut again at the next tick before they could go in: they are not
    // decoded at all.
    dropSupersededLines(bytes, cut && streaming ? StreamingLines : ScrollbackLines);
    const size_t tail = incompleteTail(bytes);
    m_carry = bytes.substr(bytes.size() - tail);
    bytes.resize(bytes.size() - tail);
    m_backlog += QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    capBacklog();
}

qint64 OutputStream::waitingLines() const
{
    return QStringView(m_backlog).mid(m_backlogStart).count(QLatin1Char('\n'));
}

void OutputStream::dropSupersededLines(std::string& bytes, int keep)
{
    // When the new bytes alone hold more lines than `keep`, the older lines
    // (and everything still waiting) would only be inserted to be trimmed
    // again: they are counted, not decoded.
    const char* data = bytes.data();
    size_t end = bytes.size();
    int lines = 0;
    while (lines <= keep && end > 0) {
        const void* newline = memrchr(data, '\n', end);
        if (!newline)
            break;
        end = size_t(static_cast<const char*>(newline) - data);
        ++lines;
    }
    if (lines <= keep)
        return;
    // bytes[end] is the newline before the kept lines.
    const qint64 dropped = std::count(bytes.begin(), bytes.begin() + std::ptrdiff_t(end + 1), '\n');
    const qint64 waiting = waitingLines();
    m_backlog.clear();
    m_backlogStart = 0;
    bytes.erase(0, end + 1);
    leaveOutAtEnd(dropped + waiting);
}

void OutputStream::capBacklog()
{
    // More waiting lines than the view keeps: the older ones would only be
    // inserted to be trimmed again.
    if (m_backlog.size() - m_backlogStart < ScrollbackLines)
        return;
    const qint64 lines = waitingLines();
    if (lines <= ScrollbackLines)
        return;
    qsizetype cut = m_backlogStart;
    for (qint64 drop = lines - ScrollbackLines; drop > 0; --drop)
        cut = m_backlog.indexOf(QLatin1Char('\n'), cut) + 1;
    m_backlog.remove(0, cut);
    m_backlogStart = 0;
    leaveOutAtEnd(lines - ScrollbackLines);
}

void OutputStream::flushBatch()
{
    takePending(true);
    insertBatch();
    showLeftOut();
}

void OutputStream::finish()
{
    m_timer.stop();
    takePending(false);
    // A character cut off by the end of the output is shown as a replacement
    // character rather than dropped.
    m_backlog += QString::fromUtf8(m_carry.data(), qsizetype(m_carry.size()));
    m_carry.clear();
    capBacklog();
    // Batch by batch, painting in between: inserting all of it at once is
    // what froze the window after a flood.
    while (insertBatch()) {
        showLeftOut();
        if (m_backlogStart < m_backlog.size())
            QCoreApplication::processEvents(QEventLoop::AllEvents, FlushIntervalMs);
    }
    showLeftOut();
}

bool OutputStream::insertBatch()
{
    if (m_backlogStart >= m_backlog.size())
        return false;
    QElapsedTimer clock;
    clock.start();
    int lines = 0;
    int chars = 0;
    while (lines < BatchLines && chars < BatchChars && clock.elapsed() < TickBudgetMs) {
        const qsizetype before = m_backlog.size() - m_backlogStart;
        if (!insertPiece(std::min(PieceLines, BatchLines - lines), BatchChars - chars))
            break;
        lines += PieceLines;
        chars += int(before - (m_backlog.size() - m_backlogStart));
    }
    trimView();
    return true;
}

bool OutputStream::insertPiece(int maxLines, int maxChars)
{
    if (m_backlogStart >= m_backlog.size())
        return false;
    // Whole lines up to the batch's bounds; a line longer than LongLineChars
    // goes on in the next line of the view.
    QString batch;
    qsizetype at = m_backlogStart;
    int lines = 0;
    int open = m_openLineChars;
    while (at < m_backlog.size() && lines < maxLines && batch.size() < maxChars) {
        const qsizetype newline = m_backlog.indexOf(QLatin1Char('\n'), at);
        const qsizetype lineEnd = newline < 0 ? m_backlog.size() : newline;
        const qsizetype room = LongLineChars - open;
        if (lineEnd - at > room) {
            qsizetype piece = std::max<qsizetype>(room, 1);
            if (m_backlog.at(at + piece - 1).isHighSurrogate())
                --piece;
            batch += QStringView(m_backlog).mid(at, piece);
            batch += QLatin1Char('\n');
            at += piece;
            open = 0;
        } else if (newline < 0) {
            batch += QStringView(m_backlog).mid(at);
            open += int(m_backlog.size() - at);
            at = m_backlog.size();
        } else {
            batch += QStringView(m_backlog).mid(at, newline + 1 - at);
            at = newline + 1;
            open = 0;
        }
        ++lines;
    }
    // Taken from the front by moving an offset: removing the front of a long
    // backlog piece by piece would copy it over and over.
    m_backlogStart = at;
    if (m_backlogStart >= m_backlog.size()) {
        m_backlog.clear();
        m_backlogStart = 0;
    } else if (m_backlogStart > (1 << 20) && m_backlogStart > m_backlog.size() / 2) {
        m_backlog.remove(0, m_backlogStart);
        m_backlogStart = 0;
    }
    m_openLineChars = open;
    insertText(batch);
    return true;
}

void OutputStream::insertText(const QString& text)
{
    // A cursor of our own at the end: the user may have clicked into the view
    // and moved its cursor meanwhile.
    QTextCursor cursor(m_view->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
}

void OutputStream::appendParagraph(const QString& text)
{
    QTextDocument* document = m_view->document();
    const std::string bytes = ((m_transcript.size() > 0 ? "\n" : "") + text).toUtf8().toStdString();
    m_transcript.append(bytes);
    m_tally.feed(bytes.data(), bytes.size());
    // As a new paragraph, but always as plain text: a command line holding
    // <b> is no markup.
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    if (!document->isEmpty())
        cursor.insertBlock();
    cursor.insertText(text);
    const qsizetype lastBreak = text.lastIndexOf(QLatin1Char('\n'));
    m_openLineChars = int(text.size() - lastBreak - 1);
    trimView();
    showLeftOut();
}

void OutputStream::clear()
{
    m_view->clear();
    m_transcript.clear();
    m_tally.clear();
    m_leftOut = 0;
    m_leftOutShown = 0;
    m_noticeBlock = -1;
    m_openLineChars = 0;
    m_follow = true;
}

void OutputStream::trimView()
{
    QTextDocument* document = m_view->document();
    const int excess = document->blockCount() - (m_noticeBlock >= 0 ? 1 : 0) - ScrollbackLines;
    if (excess <= TrimSlack)
        return;
    // The oldest lines after the head go: removing lines costs a relayout,
    // so it waits until TrimSlack of them have gathered.
    if (m_noticeBlock < 0)
        insertNotice(HeadLines);
    const int first = m_noticeBlock + 1;
    QTextCursor cursor(document);
    cursor.setPosition(document->findBlockByNumber(first).position());
    cursor.setPosition(document->findBlockByNumber(first + excess).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    m_leftOut += excess;
}

void OutputStream::leaveOutAtEnd(qint64 lines)
{
    QTextDocument* document = m_view->document();
    // Whole lines the view holds after the head (the last block is the
    // unfinished line, whose end is among the lost lines): they go too, so
    // the gap stays in one place.
    const int complete = document->blockCount() - 1;
    int keep = m_noticeBlock >= 0 ? m_noticeBlock + 1 : std::min(complete, HeadLines);
    m_leftOut += complete - keep;
    QTextCursor cursor(document);
    cursor.setPosition(document->findBlockByNumber(keep).position());
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    if (m_noticeBlock < 0)
        insertNotice(keep);
    // Something was lost even when it was no whole line.
    m_leftOut += std::max<qint64>(lines, 1);
    m_openLineChars = 0;
}

void OutputStream::insertNotice(int block)
{
    QTextCursor cursor(m_view->document()->findBlockByNumber(block));
    cursor.insertBlock();
    m_noticeBlock = block;
    m_leftOutShown = -1;
}

void OutputStream::showLeftOut()
{
    if (m_noticeBlock < 0 || m_leftOut == m_leftOutShown)
        return;
    m_leftOutShown = m_leftOut;
    // No colon in it: the line must not read as a compiler message.
    const QString notice = (m_leftOut == 1 ? tr("[1 line is not shown here; ")
                                           : tr("[%1 lines are not shown here; ").arg(m_leftOut))
        + tr("\"Save output...\" in the menu of this pane saves the whole output]");
    QTextCursor cursor(m_view->document()->findBlockByNumber(m_noticeBlock));
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(notice);
}
