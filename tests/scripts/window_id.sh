# Sourced inside a window test's X session: prints the id of the window
# named $1 once it exists (nothing after 10 s).
window_id() {
  local id="" i
  for i in $(seq 1 100); do
    id=$(xwininfo -name "$1" 2>/dev/null | sed -n "s/.*Window id: \(0x[0-9a-f]*\).*/\1/p")
    [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}
