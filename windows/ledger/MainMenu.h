#pragma once

namespace ovelta {

class MainWindow;

/// Fills the main window's menu bar with every command of the program, by menu:
/// 账目(&Z), 往来(&W), 数据(&S), 设置(&E) and 帮助(&H).
///
/// An entry for a command of a toolbar button or of the grid's context menu triggers that very action, so that
/// both run the one handler connected to it; the entry shows that action's shortcut (and its on or off state)
/// without holding a key of its own. The commands found nowhere else (打开账簿所在文件夹, 快捷键 F1, 关于) have
/// their own actions.
void installMainMenu(MainWindow& window);

} // namespace ovelta
