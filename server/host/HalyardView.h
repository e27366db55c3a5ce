// The view inside a server document's window: deliberately blank, whatever
// clients do with the server object.
#pragma once

#include "View.h"

class CHalyardView : public fw::View {
public:
    void OnDraw(HDC dc) override;
};
