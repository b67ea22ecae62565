# Sourced by the end-to-end tests. Waits up to 10 s until the command succeeds.
wait_for() {
  for _ in $(seq 100); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}
