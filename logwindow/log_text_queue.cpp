// Texts waiting for the window thread, oldest first.
#include "logwindow/log_text_queue.h"

#include "runtime/scoped_lock.h"

#include <cstdlib>
#include <cwchar>

CLogTextQueue::CLogTextQueue()
    : oldest(nullptr), newest(nullptr), queuedBytes(0),
      // Manual reset: set exactly while texts wait.
      ready(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

CLogTextQueue::~CLogTextQueue()
{
    Clear();
    if (ready != nullptr) {
        CloseHandle(ready);
    }
}

size_t CLogTextQueue::BytesOf(const Node* node)
{
    return sizeof(Node) + (node->units + 1) * sizeof(wchar_t);
}

bool CLogTextQueue::Push(wchar_t* text, size_t units)
{
    if (text == nullptr) {
        return true;  // nothing to show
    }
    auto* node = static_cast<Node*>(malloc(sizeof(Node)));
    if (node == nullptr) {
        return false;
    }
    *node = {nullptr, text, units};
    CScopedLock guard(&lock);
    if (queuedBytes + BytesOf(node) > kMostQueuedBytes) {
        free(node);
        return false;
    }
    if (newest != nullptr) {
        newest->next = node;
    } else {
        oldest = node;
    }
    newest = node;
    queuedBytes += BytesOf(node);
    if (ready != nullptr) {
        SetEvent(ready);
    }
    return true;
}

wchar_t* CLogTextQueue::Take(size_t mostUnits)
{
    // Only the window thread takes and clears, so the oldest texts stay as
    // they are while the lock is released; other threads only add behind them.
    size_t count = 0;
    size_t units = 0;
    {
        CScopedLock guard(&lock);
        for (Node* node = oldest; node != nullptr && (count == 0 || units + node->units <= mostUnits);
             node = node->next) {
            units += node->units;
            ++count;
        }
    }
    if (count == 0) {
        return nullptr;
    }
    // Joined outside the lock, so that adding never waits for the copying.
    wchar_t* joined =
        count > 1 ? static_cast<wchar_t*>(malloc((units + 1) * sizeof(wchar_t))) : nullptr;
    if (joined == nullptr) {
        count = 1;  // one text, or no memory to join: the oldest as it is
    }
    Node* taken = nullptr;
    {
        CScopedLock guard(&lock);
        taken = oldest;
        Node* last = taken;
        queuedBytes -= BytesOf(last);
        for (size_t i = 1; i < count; ++i) {
            last = last->next;
            queuedBytes -= BytesOf(last);
        }
        oldest = last->next;
        last->next = nullptr;
        if (oldest == nullptr) {
            newest = nullptr;
            if (ready != nullptr) {
                ResetEvent(ready);
            }
        }
    }
    if (joined == nullptr) {
        wchar_t* text = taken->text;
        free(taken);
        return text;
    }
    wchar_t* out = joined;
    for (Node* node = taken; node != nullptr;) {
        wmemcpy(out, node->text, node->units);
        out += node->units;
        Node* next = node->next;
        free(node->text);
        free(node);
        node = next;
    }
    *out = L'\0';
    return joined;
}

void CLogTextQueue::Clear()
{
    Node* node = nullptr;
    {
        CScopedLock guard(&lock);
        node = oldest;
        oldest = newest = nullptr;
        queuedBytes = 0;
        if (ready != nullptr) {
            ResetEvent(ready);
        }
    }
    while (node != nullptr) {
        Node* next = node->next;
        free(node->text);
        free(node);
        node = next;
    }
}

size_t CLogTextQueue::QueuedBytes() const
{
    CScopedLock guard(&lock);
    return queuedBytes;
}
