#pragma once
// Private window messages of the main window that carry web requests and their results.
namespace zelora::web {

inline constexpr unsigned WM_WEB_REQ_BALANCE = 0x419; // -> CWebServiceClient::OnReqBalance
inline constexpr unsigned WM_WEB_REQ_VOIP_NUMBER = 0x41E; // -> CWebServiceClient::OnReqVoipNumber
inline constexpr unsigned WM_WEB_REQ_ADS = 0x41F; // -> CWebServiceClient::OnAdsRequest
inline constexpr unsigned WM_WEB_REQ_CLI = 0x420; // -> CWebServiceClient::OnReqCLI
inline constexpr unsigned WM_WEB_VOIP_NUMBER_RECEIVED = 0x421; // show VoipNumber() and UserId()
inline constexpr unsigned WM_WEB_BALANCE_RECEIVED = 0x422; // show Balance() and SmsBalance()
// Caller ID received (show CallerId() on the display), or, with wParam 1, the network was lost
// and the window has been switched to its signed-out look.
inline constexpr unsigned WM_WEB_CLI_RECEIVED = 0x423;
inline constexpr unsigned WM_WEB_NEW_SMS = 0x424; // wParam: count; data: the notice text

} // namespace zelora::web
