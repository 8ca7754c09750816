#pragma once

// What a transaction does to the user interface while it blocks: the main window
// takes no input and shows the hourglass between begin() and end(). The main
// window implements it; tests record the calls.
class ITransactUi
{
public:
    virtual ~ITransactUi() = default;
    virtual void begin() = 0;
    virtual void end() = 0;
};
