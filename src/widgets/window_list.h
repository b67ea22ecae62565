#pragma once

#include <QList>
#include <QPointer>
#include <utility>

// Windows of their own that a part of the program opens (help viewers, progress windows):
// each deletes itself when it is closed, and the list forgets it then.
template <typename Window> class WindowList {
public:
    WindowList() = default;
    WindowList(const WindowList&) = delete;
    WindowList& operator=(const WindowList&) = delete;
    ~WindowList() { deleteAll(); }

    void add(Window* window) {
        windows_.removeAll(nullptr);
        windows_.append(window);
    }
    // The windows still open, oldest first.
    QList<Window*> open() const {
        QList<Window*> result;
        for (const QPointer<Window>& window : windows_)
            if (window)
                result.append(window);
        return result;
    }
    void closeAll() {
        for (const QPointer<Window>& window : std::exchange(windows_, {}))
            if (window)
                window->close();
    }
    void deleteAll() {
        for (const QPointer<Window>& window : std::exchange(windows_, {}))
            delete window.data();
    }

private:
    QList<QPointer<Window>> windows_;
};
