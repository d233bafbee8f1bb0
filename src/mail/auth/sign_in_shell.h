#pragma once

namespace velmio {

struct AccountSettings;

// What a check asks of the program around it when an account of her own
// sign-in has no refresh token (Missing) or wants a new one (SignInAgain):
// the sign-in dialog, which the program opens as it opens its dialogs.
class SignInShell {
public:
    virtual ~SignInShell() = default;
    virtual void StartSignIn(const AccountSettings& account) = 0;
};

}  // namespace velmio
