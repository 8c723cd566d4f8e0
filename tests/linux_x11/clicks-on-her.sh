# Clicks on her, for the end-to-end scripts: sourced by them, after they define fail and until_true
# and while $zpid is her process and $her her window.
# Her performances begin and end in sparkles through which the pointer reaches the desktop, and
# each begins at a new place: one may start between a look at her and a click. So she is stopped
# (SIGSTOP) for the look and the clicks: while the pointer is found on her, nothing of hers can
# change until she reads the clicks, late, as a busy machine reads them. A look that finds the
# desktop or another window lets her go on and looks again.
pointer_on_her() {  # her point (dx, dy) under the pointer and one of her pixels; true with her stopped
  kill -STOP "$zpid"
  eval "$(xdotool getwindowgeometry --shell "$her")"  # sets X Y WIDTH HEIGHT
  xdotool mousemove 0 0 mousemove $((X + $1)) $((Y + $2))  # a move there: the server finds the window anew
  [ "$(xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p')" = "$her" ] && return 0
  kill -CONT "$zpid"
  return 1
}
on_her() {  # on_her DX DY XDOTOOL-ACTIONS...: the actions with the pointer at her point (dx, dy)
  local dx=$1 dy=$2
  shift 2
  until_true pointer_on_her "$dx" "$dy"
  xdotool "$@" || { kill -CONT "$zpid"; fail "xdotool $*"; }
  kill -CONT "$zpid"
}
