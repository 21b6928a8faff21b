#include "CINetConnection.h"

CINetConnection::~CINetConnection() = default;
