#pragma once

// The pane as its visibility companion (IPaneState) sees it: whether the user has it
// open, and the two ways to change that which keep the pane's own bookkeeping right.
class IPaneOwner
{
public:
    virtual ~IPaneOwner() = default;

    // Not closed by the user. A pane tabbed behind another, or inside a minimised main
    // window, still counts as visible: it comes back by itself.
    virtual bool paneVisible() const = 0;
    virtual void ShowMe() = 0;
    virtual void HideMe() = 0;
};
