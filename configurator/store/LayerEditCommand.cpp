#include "LayerEditCommand.h"

#include <QPointer>
#include <QTimer>
#include <QUndoStack>

namespace brevona {

LayerEditCommand::LayerEditCommand(QUndoStack &stack, const QString &text, Step forward, Step backward)
    : QUndoCommand(text)
    , m_stack(stack)
    , m_forward(std::move(forward))
    , m_backward(std::move(backward))
{}

void LayerEditCommand::redo()
{
    run(m_forward);
}

void LayerEditCommand::undo()
{
    run(m_backward);
}

void LayerEditCommand::run(const Step &step)
{
    if (m_skip) {
        m_skip = false;
        return;
    }
    const bool first = !m_ran;
    m_ran = true;
    m_failed = !step();
    if (!m_failed)
        return;
    if (first) {
        setObsolete(true);
        return;
    }
    // The stack moves its index after this returns; moving it back runs this command once more,
    // which must not repeat the step.
    m_skip = true;
    const int index = m_stack.index();
    QTimer::singleShot(0, &m_stack, [stack = QPointer<QUndoStack>(&m_stack), index] {
        if (stack && stack->index() != index)
            stack->setIndex(index);
    });
}

} // namespace brevona
