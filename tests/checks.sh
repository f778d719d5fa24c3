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

finish() { # name of the test
  if [ "$failures" -ne 0 ]; then
    echo "$1: $failures check(s) failed"
    exit 1
  fi
  echo "$1: all checks passed"
}
