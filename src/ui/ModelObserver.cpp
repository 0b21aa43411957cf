#include "ui/ModelObserver.h"

#include "state/MenuBarViewModel.h"

ModelObserver::ModelObserver(MenuBarViewModel &model, std::function<void()> reread, QObject *parent)
    : QObject(parent), m_reread(std::move(reread)) {
    connect(&model, &MenuBarViewModel::objectWillChange, this, &ModelObserver::schedule);
}

void ModelObserver::schedule() {
    if (m_pending)
        return;
    m_pending = true;
    // Queued with this object as context: a re-read still pending when the view goes away is
    // dropped with it.
    QMetaObject::invokeMethod(this, &ModelObserver::deliver, Qt::QueuedConnection);
}

void ModelObserver::deliver() {
    m_pending = false;
    m_reread();
}
