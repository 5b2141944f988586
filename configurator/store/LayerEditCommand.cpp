#include "LayerEditCommand.h"

namespace brevona {

LayerEditCommand::LayerEditCommand(const QString &text, Step forward, Step backward)
    : QUndoCommand(text)
    , m_forward(std::move(forward))
    , m_backward(std::move(backward))
{}

void LayerEditCommand::redo()
{
    if (!m_forward())
        setObsolete(true);
}

void LayerEditCommand::undo()
{
    if (!m_backward())
        setObsolete(true);
}

} // namespace brevona
