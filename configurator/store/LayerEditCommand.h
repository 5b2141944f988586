#pragma once

#include <functional>

#include <QUndoCommand>

class QUndoStack;

namespace brevona {

// One undoable edit of the layer store as two steps, each of which changes the model, writes the
// files and tells the driver, or changes nothing and returns false.
//
// A first step that fails marks the command obsolete, so the stack drops it. A later undo or redo
// that fails keeps the command: the stack already counts the step as done, so its index is put
// back (the command skips the step that putting it back would run), and the user can try again
// once the disk has room. Nothing the edit holds, such as a deleted folder, is let go.
class LayerEditCommand : public QUndoCommand
{
public:
    using Step = std::function<bool()>;

    LayerEditCommand(QUndoStack &stack, const QString &text, Step forward, Step backward);

    void redo() override;
    void undo() override;

    // Whether the last undo or redo failed; cleared by the next one.
    bool failed() const { return m_failed; }

private:
    void run(const Step &step);

    QUndoStack &m_stack;
    Step m_forward;
    Step m_backward;
    bool m_ran = false;
    bool m_skip = false;
    bool m_failed = false;
};

} // namespace brevona
