#include "session/tunnel/CINetConnection.h"

CINetConnection::~CINetConnection() = default;
