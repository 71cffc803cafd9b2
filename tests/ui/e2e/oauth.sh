#!/usr/bin/env bash
# End-to-end OAuth2: the real program under Xvfb against Dovecot's oauth2 sign-in and the
# test authorization server, with a scripted browser ($BROWSER). An IMAP account is added
# through the account dialog and signed in; a POP3 account comes signed in from the settings
# file. Both show their mail; once the access tokens are refused, the next check refreshes
# each once and works; once the refresh tokens are revoked, each account shows one error and
# is not tried again. Usage: oauth.sh <build folder> <output folder>
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-e2e-out}" && cd "${2:-e2e-out}" && pwd)
display=:${QB_E2E_DISPLAY:-94}
messages=2
server=qb_e2e_oauth_server
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# A session bus of its own, without a keyring: the refresh tokens stay in the settings file.
. "$(dirname "${BASH_SOURCE[0]}")/private-bus.sh"
read -r _ imap_port auth_url token_url imap_user token_log dovecot_log < <(grep '^ready' "$work/server.out")
[ -n "${dovecot_log:-}" ] || fail "the servers did not start: $(cat "$work/server.out")"
# The desktop's web browser is the scripted one, whether the URL goes through xdg-open's
# handler for http or through $BROWSER.
export BROWSER="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/follow_browser.py"
export QB_BROWSER_LOG=$work/browser.log
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME/applications"
printf '[Desktop Entry]\nType=Application\nName=Test browser\nExec=%s %%u\n' "$BROWSER" \
    >"$XDG_DATA_HOME/applications/qb-test-browser.desktop"
printf '[Default Applications]\nx-scheme-handler/http=qb-test-browser.desktop\n' \
    >"$XDG_CONFIG_HOME/mimeapps.list"

"$work/quillbar" >"$work/quillbar.log" 2>&1 &
pids+=($!)
visible "^Quillbar$" || fail "the bar did not show"
sleep 2
import -window root "$out/oauth-start.png"
xdotool mousemove 500 400
xdotool key super+t
sleep 1
xdotool key o
visible "^Quillbar Options" || fail "the main menu did not open the options"
options=$(find_window --onlyvisible --name "^Quillbar Options")
keys_to "$options" ctrl+Tab ctrl+Tab
sleep 0.3
keys_to "$options" alt+a
visible "^Account Settings" || fail "Add did not open the account dialog"
dialog=$(find_window --onlyvisible --name "^Account Settings")
# Name, then server type, host, port, user and sign-in; the OAuth2 fields follow the latter.
keys_to "$dialog" W o r k Tab Tab Tab Tab Tab Tab I Tab
xdotool type 127.0.0.1
xdotool key Tab ctrl+a
xdotool type "$imap_port"
xdotool key Tab
xdotool type "$imap_user"
xdotool key Tab O Tab Tab Tab Tab
xdotool type "$auth_url"
xdotool key Tab
xdotool type "$token_url"
xdotool key Tab
xdotool type "mail openid"
xdotool key Tab
xdotool type quillbar-test
xdotool key alt+g
for _ in $(seq 100); do grep -q "^200 " "$work/browser.log" 2>/dev/null && break; sleep 0.1; done
grep -q "^200 .*return to Quillbar" "$work/browser.log" || fail "the browser got no return page"
for _ in $(seq 50); do grep -q "grant=authorization_code" "$token_log" && break; sleep 0.1; done
sleep 0.5
import -window root "$out/oauth-dialog.png"
cp "$work/browser.log" "$out/oauth-browser.log"
keys_to "$dialog" alt+o
keys_to "$options" alt+o
for _ in $(seq 100); do grep -q "^\[Account=Work\]" "$work/quillbar.ini" && break; sleep 0.1; done
grep -A30 "^\[Account=Work\]" "$work/quillbar.ini" | grep -q "^OAuthRefresh=." ||
    fail "the signed-in account was not saved with its refresh token"

refreshes() { grep -c "grant=refresh_token" "$token_log" || true; }
logins() { grep -c "Login: user=" "$dovecot_log" || true; }
# Check email now, All accounts, from the main menu.
check_all() {
    xdotool mousemove 500 400
    xdotool key super+t
    sleep 0.5
    xdotool key n
    sleep 0.3
    xdotool key a
}
wait_indexed "Test message 2" 2 || fail "the signed-in IMAP account did not show its mail"
[ "$(grep -c "grant=refresh_token user=$imap_user " "$token_log")" -eq 0 ] ||
    fail "the access token of the sign-in was refreshed before it was due"
sleep 1
import -window root "$out/oauth-bar.png"

# The server refuses every access token held: the next check of each account refreshes once
# and goes on. The IMAP account's check comes by push, the POP3 account's by hand.
tasks_shown() { xdotool search --onlyvisible --name "^Quillbar - Current Tasks" >/dev/null 2>&1; }
before=$(refreshes)
echo expire >&3
echo add 0 >&3
echo add 1 >&3
wait_indexed "Test message 3" 1 || fail "the IMAP account's push check found no new mail"
check_all
wait_indexed "Test message 3" 2 || fail "a check after the tokens expired found no new mail"
sleep 1
[ "$(refreshes)" -eq $((before + 2)) ] ||
    fail "expected one refresh per account, the token endpoint saw $(($(refreshes) - before))"
tasks_shown && fail "a refreshed sign-in showed an error"
import -window root "$out/oauth-bar-after-refresh.png"

# The provider ends the sign-ins: one error per account, then no more logins nor refreshes.
echo revoke >&3
echo expire >&3
echo add 0 >&3
echo add 1 >&3
sleep 4
check_all
for _ in $(seq 100); do tasks_shown && break; sleep 0.1; done
tasks_shown || fail "a void sign-in showed no error"
sleep 1
import -window root "$out/oauth-sign-in-expired.png"
tokens=$(grep -c "" "$token_log")
logged_in=$(logins)
for _ in 1 2; do
    check_all
    sleep 3
done
[ "$(grep -c "" "$token_log")" -eq "$tokens" ] ||
    fail "the token endpoint was asked again: $(tail -2 "$token_log")"
[ "$(logins)" -eq "$logged_in" ] || fail "the server saw $(($(logins) - logged_in)) more logins"
[ "$(indexed "Test message 4")" -eq 0 ] || fail "a void sign-in still fetched mail"

# The first account's row offers Sign in: one click opens its dialog with Sign in as the
# default; signed in again, the account is checked at once and shows its new mail.
tasks=$(find_window --onlyvisible --name "^Quillbar - Current Tasks")
eval "$(xdotool getwindowgeometry --shell "$tasks")"
xdotool mousemove $((X + WIDTH - 58)) $((Y + 141)) click 1
visible "^Account Settings" || fail "the error's Sign in opened no account dialog"
dialog=$(find_window --onlyvisible --name "^Account Settings")
pages=$(grep -c "^200 " "$work/browser.log")
keys_to "$dialog" Return
for _ in $(seq 100); do [ "$(grep -c "^200 " "$work/browser.log")" -gt "$pages" ] && break; sleep 0.1; done
sleep 1
import -window root "$out/oauth-signed-in-again.png"
keys_to "$dialog" alt+o
wait_indexed "Test message 4" 1 || fail "signed in again, the account showed no new mail"
sleep 1
import -window root "$out/oauth-after-sign-in-again.png"
cp "$token_log" "$out/oauth-token-endpoint.log"
echo "OAuth2: signed in through the dialog, one refresh per account after expiry, one error" \
    "and no retries after revocation, signed in again from the error"
