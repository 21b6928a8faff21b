#include "session/CINetConnection.h"

CINetConnection::~CINetConnection() = default;
