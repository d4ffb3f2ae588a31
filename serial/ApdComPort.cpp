#include "serial/ApdComPort.h"

TApdComPort::TApdComPort(QObject* Owner)
    : QObject(Owner) {}

TApdComPort::~TApdComPort() {
    Close();
}

void TApdComPort::Close() {
    open_ = false;
}
