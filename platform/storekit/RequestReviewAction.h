#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

/**
 * The platform's review request. The app only asks; the platform decides: it shows a small,
 * dismissable review sheet over the app's active window at most three times in 365 days per
 * app, and never tells the app what it did. The record of shown sheets belongs to the platform
 * (kept under platformStateDirectory()), not to the app.
 */
class RequestReviewAction {
public:
    using Clock = std::function<QDateTime()>;

    /** `clock` answers "now" (tests move time); empty means the system clock. */
    explicit RequestReviewAction(Clock clock = {});

    /** Asks for a review. The decision and the sheet come later, on the GUI thread. */
    void operator()() const;

    static constexpr int maximumPromptsPerPeriod = 3;
    static constexpr int periodDays = 365;
    /** Where shown sheets are recorded. */
    static QString recordPath();

private:
    Clock m_clock;
};
