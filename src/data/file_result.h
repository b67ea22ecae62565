#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <variant>

// What went wrong with one file, in the words the user is told: which file, what was being
// done to it, and the system's reason.
struct FileProblem {
    enum class Action {
        Read,
        Write,
        Remove,
        UnusableName, // `fileName` is an item name that cannot name a history file
        Unconfirmed,  // the change stands, but the system could not confirm it is on the disk
        LeftAlone,    // an item was deleted whose name no file can carry: no file was touched
    };

    Action action = Action::Read;
    QString fileName;
    QString reason;
};

// A value or the problem that kept it from being had, in the shape of C++23's std::expected:
// there is no value to read after a failure, and no success to guess from other fields.
template <typename T> class [[nodiscard]] Expected {
public:
    Expected(T value) : state_(std::move(value)) {}
    Expected(FileProblem problem) : state_(std::move(problem)) {}

    bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }
    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const FileProblem& error() const { return std::get<1>(state_); }

private:
    std::variant<T, FileProblem> state_;
};

// A file step that took place. When the system could not confirm that the change reached the
// disk, `unconfirmed` says why: the change stands, but the user must hear of it.
struct Done {
    std::optional<FileProblem> unconfirmed;
};
using Step = Expected<Done>;

inline Step stepDone() {
    return Done{};
}

// How the item list differed from the one the program knew when it found it changed on the
// disk (by a sync tool, another computer, a hand): what the user is told before anything else.
struct ListChange {
    struct Target {
        QString name;
        qint16 before = 0;
        qint16 after = 0;
    };
    QStringList added;
    QStringList removed;
    QList<Target> targets;
    // What became of the action that found the change: Next kept its record and goes on with
    // the new list; a change of the list is to be made again on it; or nothing was asked.
    enum class Then { Recorded, TryAgain, Noted };
    Then then = Then::TryAgain;
};

// What one user action did: whether it took place, and the warnings to show, in order.
struct Outcome {
    bool done = false;
    QList<FileProblem> warnings;
    // The item list was changed on the disk: the table was read again instead of written.
    std::optional<ListChange> listChanged;

    // Notes a file step: true when it took place (perhaps unconfirmed, which is warned of).
    bool take(const Step& step) {
        if (!step) {
            warnings.append(step.error());
            return false;
        }
        if (step->unconfirmed)
            warnings.append(*step->unconfirmed);
        return true;
    }
    // Notes a read or another step with a value: true when it had one.
    template <typename T> bool take(const Expected<T>& result) {
        if (!result)
            warnings.append(result.error());
        return result.has_value();
    }
    void warn(const FileProblem& problem) { warnings.append(problem); }
    // Notes how the item list changed on the disk, if it did: true when it did.
    bool noteChange(const std::optional<ListChange>& change) {
        listChanged = change;
        return change.has_value();
    }
};
