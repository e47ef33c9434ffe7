#pragma once

#include <QByteArray>
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
    // Sends a JSON text to every page link of the workplace.
    virtual void NotifyStudent(const QString& /*workplaceId*/, const QByteArray& /*json*/) {}
    // A student's page holds a live link to the workplace now; safe from any thread.
    virtual bool StudentLinked(const QString& /*workplaceId*/) const { return false; }
};
