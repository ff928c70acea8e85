// The application's Windows service: Kelvrin.exe registers it, the application runs it when
// the service control manager starts it with the word "service".
#pragma once

#define RAID_SERVICE_NAME L"VRX58QRaidService"
#define RAID_SERVICE_DISPLAY_NAME L"VRX58Q RAID Monitor"
// The word on the service's command line that makes the application run as the service.
#define RAID_SERVICE_WORD L"service"
