#include "HalyardView.h"

// The window background is all there is to show: the document's state lives
// with its clients.
void CHalyardView::OnDraw(HDC dc) { (void)dc; }
