#!/usr/bin/env bash
# pcsc-demo.sh BUILD_DIR PROGRAM [ARG...]: runs PROGRAM (cardtool, from scripts/run.sh) so that
# its PC/SC window has a card to work with when no PC/SC reader is present. The build's
# virtual_card puts a virtual card into the vpcd reader of the system's pcscd if that has the
# driver, or, as root, into a private pcscd; PROGRAM gets PCSCLITE_CSOCK_NAME for the latter.
# Whatever was started is stopped when PROGRAM exits. PROGRAM's exit status is the script's.
#   PCSC_DEMO=private   always the private pcscd (for the tests)
# PROGRAM finds what was done in CARDTOOL_PCSC_DEMO: none, system, private, unavailable or
# failed.
set -u
build=$1
shift
card=$build/bin/virtual_card
state=failed
card_pid=
work=$(mktemp -d)
stop_card() {
  if [ -n "$card_pid" ]; then
    kill -TERM "$card_pid" 2>/dev/null
    wait "$card_pid" 2>/dev/null
    card_pid=
  fi
  rm -rf "$work"
}
trap stop_card EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [ -x "$card" ]; then
  mkfifo "$work/ready"
  args=()
  [ "${PCSC_DEMO:-}" = private ] && args=(--private)
  "$card" "${args[@]}" >"$work/ready" </dev/null &
  card_pid=$!
  exec 3<"$work/ready"
  if read -r -t 30 state socket <&3; then
    case $state in
      private) export PCSCLITE_CSOCK_NAME=$socket ;;
      system) ;;
      *) wait "$card_pid" 2>/dev/null; card_pid= ;;
    esac
  else
    echo "PC/SC: the virtual card did not come up."
    state=failed
  fi
  exec 3<&-
else
  echo "PC/SC: $card is not built; the PC/SC window sees only the readers present."
fi
export CARDTOOL_PCSC_DEMO=$state
"$@"
rc=$?
stop_card
exit $rc
