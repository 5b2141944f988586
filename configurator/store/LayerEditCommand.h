#pragma once

#include <functional>

#include <QUndoCommand>

namespace brevona {

// One undoable edit of the layer store as two steps, each of which changes the model, writes the
// files and tells the driver, or changes nothing and returns false. A step that fails marks the
// command obsolete, so the undo stack drops it instead of keeping a step that did not happen.
class LayerEditCommand : public QUndoCommand
{
public:
    using Step = std::function<bool()>;

    LayerEditCommand(const QString &text, Step forward, Step backward);

    void redo() override;
    void undo() override;

private:
    Step m_forward;
    Step m_backward;
};

} // namespace brevona
