// SPDX-License-Identifier: Apache-2.0
// Process-wide login count of the service.
#ifndef SPEECH_LOGIN_STATE_H
#define SPEECH_LOGIN_STATE_H

namespace speech {

// Checks the login parameters and counts the login; 0 or an error code.
int login(const char *params);
// Releases one login; SPEECH_ERR_NOT_LOGGED_IN when there is none.
int logout();
bool logged_in();

}  // namespace speech

#endif  // SPEECH_LOGIN_STATE_H
