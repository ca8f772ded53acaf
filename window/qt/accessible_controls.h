#pragma once

namespace velmora {

/// Makes the window's own controls readable through QAccessible, once per program: a ResultList shows as
/// a list whose rows are list items with their text, each made only when asked for (a list of 10^8 rows
/// costs nothing ahead of time) and only the last few kept; a HeadingLabel shows as static text named by
/// the caption it shows, without its '&' marks.
void installAccessibleControls();

} // namespace velmora
