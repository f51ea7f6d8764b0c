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
    Node* taken = nullptr;
    size_t units = 0;
    {
        // Unlink under the lock; join outside it, so that pushes never wait
        // for the copying.
        CScopedLock guard(&lock);
        if (oldest == nullptr) {
            return nullptr;
        }
        Node* last = oldest;
        units = last->units;
        while (last->next != nullptr && units + last->next->units <= mostUnits) {
            last = last->next;
            units += last->units;
        }
        taken = oldest;
        oldest = last->next;
        last->next = nullptr;
        if (oldest == nullptr) {
            newest = nullptr;
            if (ready != nullptr) {
                ResetEvent(ready);
            }
        }
        for (Node* node = taken; node != nullptr; node = node->next) {
            queuedBytes -= BytesOf(node);
        }
    }
    wchar_t* joined = nullptr;
    if (taken->next != nullptr) {
        joined = static_cast<wchar_t*>(malloc((units + 1) * sizeof(wchar_t)));
    }
    if (joined == nullptr) {
        // One text (or no memory to join): hand over the oldest as it is and
        // put the rest back in front, in order.
        Node* rest = taken->next;
        wchar_t* text = taken->text;
        free(taken);
        if (rest != nullptr) {
            CScopedLock guard(&lock);
            Node* last = rest;
            queuedBytes += BytesOf(last);
            while (last->next != nullptr) {
                last = last->next;
                queuedBytes += BytesOf(last);
            }
            last->next = oldest;
            oldest = rest;
            if (newest == nullptr) {
                newest = last;
            }
            if (ready != nullptr) {
                SetEvent(ready);
            }
        }
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
