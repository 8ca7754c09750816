#pragma once

#include "eventwait.h"
#include "requestclient.h"

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <memory>

