# Sourced inside a window test's X session: prints the id of the window
# named $1 once it exists (nothing after 30 s: a loaded machine running the
# sanitizer builds may take that long to show it).
window_id() {
  local id="" i
  for i in $(seq 1 300); do
    id=$(xwininfo -name "$1" 2>/dev/null | sed -n "s/.*Window id: \(0x[0-9a-f]*\).*/\1/p")
    [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}
