#pragma once

class Command;
class CommandUI;

// A window that takes part in command routing. The manager asks the active child
// window's router first and the main window's router last, and stops at the first
// one that sets stopRouting.
//
// UpdateUI writes the command's enabled flag and, where the router decides it, its
// state value. Handle carries the command out; context is the tool-bar item that
// issued it (the go-to box, the undo button's drop-down part) or null.
//
// Neither operation may throw: both run inside Qt's event handling (a click, a
// timer), where nothing could catch it.
struct ICommandRouter
{
    virtual ~ICommandRouter() = default;
    virtual void Handle(Command &cmd, CommandUI *context, bool &stopRouting) = 0;
    virtual void UpdateUI(Command &cmd, bool &stopRouting) = 0;
};
