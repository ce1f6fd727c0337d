#!/usr/bin/env bash
# When wine_again_if_not_started starts a program a second time: only when
# Wine never started it (exit 1 with no output, or start.exe's "could not be
# started"), once, and the second try's status is the result.
#
#   harness_retry_test.sh PATH/TO/wine.sh
set -uo pipefail
# shellcheck source=wine.sh
source "${1:?usage: $0 PATH/TO/wine.sh}"
work=$(mktemp -d "${TMPDIR:-/tmp}/harness-retry-test.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
out=$work/out

# Plays one try per call from the script "STATUS:OUTPUT;STATUS:OUTPUT;...".
attempt() {
  local tries=$work/tries step
  echo x >>"$tries"
  step=$(cut -d';' -f"$(wc -l <"$tries")" <<<"$script")
  [[ -n ${step#*:} ]] && echo "${step#*:}" >"$out"
  return "${step%%:*}"
}

passed=0 failed=0
# script | status expected | tries expected
while IFS='|' read -r script want_status want_tries; do
  rm -f "$work/tries" && : >"$out"
  wine_again_if_not_started "$out" attempt 2>/dev/null
  status=$? tries=$(wc -l <"$work/tries")
  if [[ $status != "$want_status" || $tries != "$want_tries" ]]; then
    echo "FAILED: '$script': exit $status after $tries tries, want exit $want_status after $want_tries"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
done <<'TABLE'
0:|0|1
1:;0:|0|2
1:;1:|1|2
1:;0:done|0|2
1:regprep: deleting failed: error 5|1|1
2:|2|1
124:|124|1
0:Application could not be started, or no application associated;0:done|0|2
1:Application could not be started, or no application associated;1:|1|2
TABLE
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
