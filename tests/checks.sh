# Checks for the shell tests. Source it, call check and fail, and end with finish.
failures=0

fail() { # what went wrong
  echo "FAIL $*"
  failures=$((failures + 1))
}

check() { # what, expected, actual
  if [ "$2" != "$3" ]; then
    printf 'FAIL %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}

# Copies the program into a fresh folder that anyone may enter (the tests also run it as
# nobody), removed on exit, and changes into it; $work names it. With "with-definitions" the
# definitions file beside the program comes along.
enter_work_copy() { # program, [with-definitions]
  work=$(mktemp -d)
  chmod 755 "$work"
  trap 'rm -rf "$work"' EXIT
  cp "$1" "$work/trelmoss"
  [ "${2:-}" = with-definitions ] && cp "$(dirname "$1")/trelmoss.ini" "$work/trelmoss.ini"
  cd "$work" || exit 1
}

finish() { # name of the test
  if [ "$failures" -ne 0 ]; then
    echo "$1: $failures check(s) failed"
    exit 1
  fi
  echo "$1: all checks passed"
}
