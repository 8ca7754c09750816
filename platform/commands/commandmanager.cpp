#include "commandmanager.h"

#include "command.h"
#include "commandcategory.h"
#include "commandicons.h"
#include "commandui.h"
#include "icommandrouter.h"
#include "splittoolbutton.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QToolBar>

namespace {

constexpr int DefaultGotoBoxWidth = 100;
constexpr int ToolBarIconSize = 22;

bool clipboardHoldsText(const QClipboard *clipboard)
{
    const QMimeData *data = clipboard->mimeData();
    return data && data->hasText();
}

} // namespace

CommandManager::CommandManager(QObject *parent)
    : QObject(parent)
{
    m_refreshTimer.setInterval(RefreshIntervalMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CommandManager::refreshAll);
    m_invalidateTimer.setSingleShot(true);
    m_invalidateTimer.setInterval(0);
    connect(&m_invalidateTimer, &QTimer::timeout, this, &CommandManager::refreshAll);

    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance())) {
        connect(app, &QApplication::focusChanged, this,
                [this](QWidget *, QWidget *now) { onFocusChanged(now); });
        QClipboard *clipboard = QGuiApplication::clipboard();
        connect(clipboard, &QClipboard::dataChanged, this, &CommandManager::onClipboardChanged);
        m_clipboardHasText = clipboardHoldsText(clipboard);
    }
}

CommandManager::~CommandManager()
{
    // A bar that no window adopted has no parent to take it down.
    for (const QPointer<QToolBar> &bar : std::as_const(m_toolBars)) {
        if (bar && !bar->parent())
            delete bar.data();
    }
}

void CommandManager::load(const CommandDesign &design)
{
    if (m_loaded) {
        qWarning("CommandManager: a design is already loaded; the new one is ignored");
        return;
    }
    m_loaded = true;

    for (const CommandDesign::CategoryDef &def : design.categories)
        m_categories.push_back(std::make_unique<CommandCategory>(def.name, def.caption, def.visible));

    for (const CommandDesign::CommandDef &def : design.commands) {
        if (def.id.isEmpty() || m_commandsById.contains(def.id)) {
            qWarning("CommandManager: command \"%s\" is empty or not unique; skipped", qPrintable(def.id));
            continue;
        }
        auto *cmd = new Command(def, categoryByName(def.category), CommandIcons::icon(def.image), this);
        m_commands.append(cmd);
        m_commandsById.insert(cmd->id(), cmd);
        connect(cmd->action(), &QAction::triggered, this, [this, cmd] { press(*cmd, nullptr); });
    }

    QList<CommandUI *> built;
    for (const CommandDesign::BarDef &def : design.bars)
        m_toolBars.append(buildToolBar(def, built));

    // Raised only once every bar is complete, so a handler sees the finished layout.
    for (CommandUI *ui : std::as_const(built))
        emit InitCommandUI(ui);
    invalidate();
}

QToolBar *CommandManager::buildToolBar(const CommandDesign::BarDef &def, QList<CommandUI *> &built)
{
    auto *bar = new QToolBar(def.caption);
    bar->setObjectName(def.name);
    // The icon theme draws its tool bar pictures at this size; others would be scaled.
    bar->setIconSize(QSize(ToolBarIconSize, ToolBarIconSize));
    // The state text in the status bar says what the session is doing; a button's
    // description passing over it on every hover would hide that.
    bar->installEventFilter(this);
    const QList<CommandDesign::BarItem> items = CommandDesign::parseButtons(def.buttons);
    for (const CommandDesign::BarItem &item : items) {
        if (item.isSeparator()) {
            bar->addSeparator();
            continue;
        }
        Command *cmd = command(item.id);
        if (!cmd) {
            qWarning("CommandManager: tool bar %s names unknown command \"%s\"", qPrintable(def.name),
                     qPrintable(item.id));
            continue;
        }
        CommandUI *ui = cmd->style() == Command::GotoBoxStyle ? buildGotoBox(bar, cmd, item.width)
                                                              : buildButton(bar, cmd);
        cmd->addUiObject(ui);
        built.append(ui);
    }
    return bar;
}

CommandUI *CommandManager::buildButton(QToolBar *bar, Command *cmd)
{
    if (!cmd->hasDropDown()) {
        bar->addAction(cmd->action());
        return new CommandUI(cmd, bar->widgetForAction(cmd->action()));
    }
    // The bar styles the buttons it makes itself; this one has to follow it by hand.
    auto *button = new SplitToolButton(bar);
    button->setDefaultAction(cmd->action());
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIconSize(bar->iconSize());
    button->setToolButtonStyle(bar->toolButtonStyle());
    connect(bar, &QToolBar::iconSizeChanged, button, &QToolButton::setIconSize);
    connect(bar, &QToolBar::toolButtonStyleChanged, button, &QToolButton::setToolButtonStyle);
    bar->addWidget(button);
    auto *ui = new CommandUI(cmd, button);
    connect(button, &SplitToolButton::arrowPressed, this, [this, cmd, ui] { press(*cmd, ui); });
    return ui;
}

CommandUI *CommandManager::buildGotoBox(QToolBar *bar, Command *cmd, int width)
{
    auto *combo = new QComboBox(bar);
    combo->setEditable(true);
    // Enter runs the command; it must not also add the text to the list.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setFixedWidth(width > 0 ? width : DefaultGotoBoxWidth);
    combo->setToolTip(cmd->toolTip());
    combo->setStatusTip(cmd->description());
    combo->setEnabled(cmd->enabled());
    bar->addWidget(combo);
    auto *ui = new CommandUI(cmd, combo, combo);
    connect(cmd, &Command::changed, combo, [combo, cmd] { combo->setEnabled(cmd->enabled()); });
    // Enter is caught at the box, not by the line edit's returnPressed: a key that
    // reaches the line edit first climbs back to the box, which hands it to the line
    // edit again, and the command would run twice.
    combo->installEventFilter(this);
    return ui;
}

Command *CommandManager::command(const QString &id) const
{
    return m_commandsById.value(id);
}

CommandCategory *CommandManager::categoryByName(const QString &name) const
{
    for (const std::unique_ptr<CommandCategory> &category : m_categories) {
        if (category->name() == name)
            return category.get();
    }
    return nullptr;
}

QList<CommandCategory *> CommandManager::categories() const
{
    QList<CommandCategory *> list;
    for (const std::unique_ptr<CommandCategory> &category : m_categories)
        list.append(category.get());
    return list;
}

QList<QToolBar *> CommandManager::toolBars() const
{
    QList<QToolBar *> live;
    for (const QPointer<QToolBar> &bar : m_toolBars) {
        if (bar)
            live.append(bar);
    }
    return live;
}

QToolBar *CommandManager::toolBar(const QString &name) const
{
    for (const QPointer<QToolBar> &bar : m_toolBars) {
        if (bar && bar->objectName() == name)
            return bar;
    }
    return nullptr;
}

void CommandManager::setMainRouter(ICommandRouter *router)
{
    m_mainRouter = router;
    updateRefreshTimer();
    invalidate();
}

void CommandManager::updateRefreshTimer()
{
    if (!m_mainRouter)
        m_refreshTimer.stop();
    else if (!m_refreshTimer.isActive())
        m_refreshTimer.start();
}

void CommandManager::registerChildForm(QWidget *form, ICommandRouter *router)
{
    if (!form)
        return;
    if (!m_forms.contains(form)) {
        connect(form, &QObject::destroyed, this, [this, form] {
            m_forms.remove(form);
            invalidate();
        });
    }
    m_forms.insert(form, router);
    // The form may have taken the focus before it was registered.
    if (registeredFormAt(QApplication::focusWidget()) == form)
        changeActiveChild(form);
    invalidate();
}

void CommandManager::unregisterChildForm(QWidget *form)
{
    if (!form || !m_forms.remove(form))
        return;
    disconnect(form, &QObject::destroyed, this, nullptr);
    if (m_activeChild == form)
        changeActiveChild(nullptr);
    invalidate();
}

void CommandManager::setActiveChild(QWidget *widget)
{
    changeActiveChild(registeredFormAt(widget));
}

QWidget *CommandManager::activeChild() const
{
    return m_activeChild && m_activeChild->isVisible() ? m_activeChild.data() : nullptr;
}

ICommandRouter *CommandManager::activeChildRouter() const
{
    QWidget *form = activeChild();
    return form ? m_forms.value(form) : nullptr;
}

// The registered form at or above widget; null when the walk first meets a tool
// bar, a menu, a status bar or a top-level window that is not a registered form.
QWidget *CommandManager::registeredFormAt(QWidget *widget) const
{
    for (QWidget *w = widget; w; w = w->parentWidget()) {
        if (m_forms.contains(w))
            return w;
        if (w->isWindow() || qobject_cast<QToolBar *>(w) || qobject_cast<QMenu *>(w)
            || qobject_cast<QMenuBar *>(w) || qobject_cast<QStatusBar *>(w))
            return nullptr;
    }
    return nullptr;
}

void CommandManager::onFocusChanged(QWidget *now)
{
    if (QWidget *form = registeredFormAt(now))
        changeActiveChild(form);
}

void CommandManager::changeActiveChild(QWidget *form)
{
    if (m_activeChild == form)
        return;
    m_activeChild = form;
    invalidate();
}

bool CommandManager::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::StatusTip && qobject_cast<QToolBar *>(watched))
        return true;
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (auto *ui = watched->findChild<CommandUI *>(QString(), Qt::FindDirectChildrenOnly)) {
                if (ui->command())
                    press(*ui->command(), ui);
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void CommandManager::press(Command &cmd, CommandUI *context)
{
    refresh(cmd);
    // Overrides whatever Qt's own toggle of the checkable action left.
    if (cmd.style() == Command::PressStyle)
        cmd.setStateValue(1);
    execute(cmd, context);
}

void CommandManager::execute(Command &cmd, CommandUI *context)
{
    if (m_executeDepth >= MaxExecuteDepth) {
        qWarning("CommandManager: \"%s\" not executed, commands nested too deep", qPrintable(cmd.id()));
        return;
    }
    ++m_executeDepth;
    bool stopRouting = false;
    if (cmd.enabled()) {
        if (ICommandRouter *child = activeChildRouter())
            child->Handle(cmd, context, stopRouting);
    }
    if (!stopRouting && m_mainRouter)
        m_mainRouter->Handle(cmd, context, stopRouting);
    --m_executeDepth;
    emit executed(cmd.id());
    invalidate();
}

void CommandManager::refresh(Command &cmd)
{
    bool stopRouting = false;
    if (ICommandRouter *child = activeChildRouter())
        child->UpdateUI(cmd, stopRouting);
    if (!stopRouting && m_mainRouter)
        m_mainRouter->UpdateUI(cmd, stopRouting);
}

void CommandManager::refreshAll()
{
    m_invalidateTimer.stop();
    const QList<Command *> commands = m_commands;
    for (Command *cmd : commands)
        refresh(*cmd);
}

void CommandManager::invalidate()
{
    if (!m_invalidateTimer.isActive())
        m_invalidateTimer.start();
}

void CommandManager::onClipboardChanged()
{
    m_clipboardHasText = clipboardHoldsText(QGuiApplication::clipboard());
    invalidate();
}
