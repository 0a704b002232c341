#pragma once

#include <QString>

#include <utility>

// The result of a platform operation that can fail: success, or a failure that
// carries the description shown to the user.
class Outcome
{
public:
    static Outcome success() { return Outcome(); }
    static Outcome failure(QString description)
    {
        Outcome outcome;
        outcome.m_failed = true;
        outcome.m_description = std::move(description);
        return outcome;
    }

    bool failed() const { return m_failed; }
    const QString &description() const { return m_description; }

private:
    bool m_failed = false;
    QString m_description;
};

// Skip-and-remember: a step that fails is remembered (a later failure replaces an
// earlier one) and the next step runs; whoever owns the sequence reports at the end.
class PendingFailure
{
public:
    void clear() { m_pending = Outcome::success(); }
    void remember(const Outcome &outcome)
    {
        if (outcome.failed())
            m_pending = outcome;
    }
    bool isPending() const { return m_pending.failed(); }
    const QString &description() const { return m_pending.description(); }

private:
    Outcome m_pending;
};
