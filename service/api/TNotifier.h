#pragma once

#include <QString>

// Where handlers send live notifications; the live hub is the real one.
class TNotifier
{
public:
    virtual ~TNotifier() = default;
    // Sends the event words ("updated 1234567890") to every open link of the account.
    virtual void NotifyAccount(qint64 accountId, const QString& words) = 0;
    // Confirms the links of one connection with "active" + its id.
    virtual void ConfirmConnection(const QString& connectionId) = 0;
};
