#!/usr/bin/env bash
# Builds each layer-check target of the build folder $1: the upward includes
# must fail to compile, naming the header they cannot find; the downward ones
# must compile.
set -u
build=$1
status=0
expect_failure() {
  local target=$1 header=$2 out
  out=$(cmake --build "$build" --target "$target" 2>&1)
  if [ $? -eq 0 ]; then
    echo "FAIL: $target compiled; an upward include must not"
    status=1
  elif ! grep -Eq "$header.*(No such file|not found)|'$header' file not found" <<<"$out"; then
    echo "FAIL: $target failed for another reason:"
    echo "$out" | tail -5
    status=1
  else
    echo "ok: $target does not compile ($header is not visible)"
  fi
}
expect_failure layers_link_includes_drive runner.h
expect_failure layers_link_includes_drive_by_path drive/runner.h
expect_failure layers_drive_includes_output output.h
expect_failure layers_output_includes_commands session.h
expect_failure layers_checker_user_includes_messages messages.h
for target in layers_drive_includes_link layers_checker_user_includes_interface; do
  if cmake --build "$build" --target "$target" >/dev/null 2>&1; then
    echo "ok: $target compiles (a layer sees those below it and their interfaces)"
  else
    echo "FAIL: $target does not compile"
    status=1
  fi
done
exit $status
