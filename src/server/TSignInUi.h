#pragma once

#include <memory>
#include <QString>

class TTVLApiClient;

// How the sign-in reaches its dialogs; the dialogs themselves live in a library of their own,
// so the client never links Widgets.
class TSignInUi
{
public:
    // How the confirmation-code dialog was left.
    struct TCheckCodeResult
    {
        bool Success = false;   // a code was accepted
        bool BreakFlag = false; // the user aborted
    };

    // The confirmation-code dialog for one sequence: shown modally as often as the sequence
    // asks, hidden and freed (and its process-wide reference cleared) with this object.
    class TCheckCodePrompt
    {
    public:
        virtual ~TCheckCodePrompt() = default;
        virtual TCheckCodeResult ShowModal() = 0;
    };

    virtual ~TSignInUi() = default;
    // email: the address of the e-mail way, empty on the code way.
    virtual std::unique_ptr<TCheckCodePrompt> CreateCheckCode(TTVLApiClient& client,
                                                              const QString& email) = 0;
    // The registration dialog, modally, until it is closed.
    virtual void ShowRegister(TTVLApiClient& client) = 0;
};
