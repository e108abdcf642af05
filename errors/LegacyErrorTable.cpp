#include "errors/LegacyErrorTable.h"

#include <mutex>

namespace {

constexpr char kUnknownLegacyCode[] = "Unknown error";

// The catalogue texts by constant name, so that a legacy code whose text is
// a catalogue entry's reads it from the one place it is written.
namespace catalogue {
#define KELVOX_ERROR(name, category, code, message) [[maybe_unused]] constexpr char name[] = message;
#include "errors/ErrorCatalogue.def"
#undef KELVOX_ERROR
}  // namespace catalogue

// Texts that several codes share.
constexpr char kCmmInternal[] = "Failed to update due to CMM internal error.";
constexpr char kEsxiInternal[] = "Failed to update due to ESXI internal error.";
constexpr char kInstallTimeout[] = "Timeout happens when installing package.";
constexpr char kBmcInternal[] = "Failed to update due to BMC internal error.";
constexpr char kSftpMandatory[] =
    "\"--sftp\" parameter is mandatory to update the target system. Please add it and retry.";
constexpr char kEsxiCimNotReady[] = "Failed to update due to ESXi CIM service not ready.";
constexpr char kDriverInfo[] = "Failed to detect device driver information.";
constexpr char kNetworkError[] = "Network error.";
constexpr char kCmmCimConnect[] = "Failed to connect to CMM CIM service.";
constexpr char kUpdateInProgress[] = "Another update is in progress.";
constexpr char kNoRemoteUpdate[] =
    "Failed to update due to this package doesn't support remote update via BMC.";
constexpr char kMaintenanceOsConnect[] = "Failed to connect to Maintenance Mode OS.";

// Every text of a flash failure starts with the name of the way it flashed.
#define IN_BAND_FLASH "Update flash module error using in-band flash utility: "
#define OOB_FLASH "Update flash module error using OOB flash: "

struct LegacyEntry {
  int32_t code;
  const char* message;
};

// The whole table, group by group (group 0x06 is update, 0x08 activation
// keys, 0x0B the LAN-over-USB device, 0x0C module and power-supply update).
constexpr LegacyEntry kLegacyEntries[] = {
    // 0x06: package query and applicability.
    {1537, "Update query module error: given ID is not found in the query package results."},
    {1538, "Update query module error: failed to read the package metadata file."},
    {1539, "Update query module error: no update package found in the specified folder."},
    {1540, "Update query module error: package doesn't apply to the machine type of the target system."},
    {1541, "Update query module error: package doesn't apply to the operating system of the target system."},
    {1542, catalogue::ERR_NO_APPLICABLE_COMPONENT},
    {1543, "Update query module error: failed to get the installed firmware versions of the target system."},
    {1544, catalogue::ERR_UPDATE_NOT_EFFECTIVE},
    {1545, "Update query module error: a prerequisite package is missing from the folder."},
    {1546, "Update query module error: more than one package in the folder updates the same component."},
    // 0x06: updates through the chassis management module.
    {1552, kCmmCimConnect},
    {1553, kCmmInternal},
    {1554, kCmmInternal},
    {1555, kCmmInternal},
    {1556, kCmmInternal},
    {1557, kInstallTimeout},
    {1558, kCmmInternal},
    {1559, kCmmInternal},
    {1564, "Failed to transfer update package to ftp server."},
    {1565, catalogue::ERR_INVALID_PARAMETER},
    // 0x06: updates on VMware ESXi hosts.
    {1568, catalogue::ERR_READ_FILE},
    {1569, " Failed to upload update package to online VMWare ESXi."},
    {1570, catalogue::ERR_WRITE_FILE},
    {1571, "Failed to connect to VMware ESXi host."},
    {1572, kEsxiInternal},
    {1573, "Failed to authenticate to VMware ESXi host."},
    {1574, "Failed to update due to ESXi host is not in maintenance mode."},
    {1575, "Failed to update due to this package doesn't support VMware ESXi."},
    {1576, kEsxiInternal},
    {1577, kEsxiInternal},
    {1578, kEsxiInternal},
    {1579, kEsxiInternal},
    {1580, "Failed to get firmware inventory from VMware ESXi host."},
    {1581, kInstallTimeout},
    // 0x06: the in-band flash utility.
    {1584, IN_BAND_FLASH "the flash utility was not found."},
    {1585, IN_BAND_FLASH "the flash utility could not be started."},
    {1586, IN_BAND_FLASH "the flash utility requires administrator privileges."},
    {1587, IN_BAND_FLASH "the flash utility doesn't support this operating system."},
    {1588, IN_BAND_FLASH "another instance of the flash utility is running."},
    {1589, IN_BAND_FLASH "the flash utility doesn't support this firmware type."},
    {1590, IN_BAND_FLASH "failed to load the flash device driver."},
    {1591, IN_BAND_FLASH "failed to access the flash device."},
    {1592, IN_BAND_FLASH "failed to read the firmware image file."},
    {1593, IN_BAND_FLASH "the firmware image file is corrupted."},
    {1594, IN_BAND_FLASH "signature verification of the firmware image failed."},
    {1595, IN_BAND_FLASH "the firmware image doesn't match the machine type."},
    {1596, IN_BAND_FLASH "the firmware image doesn't match the target component."},
    {1597, IN_BAND_FLASH "the firmware image is older than the minimum allowed version."},
    {1598, IN_BAND_FLASH "downgrade is not allowed by the system settings."},
    {1599, IN_BAND_FLASH "failed to erase the flash memory."},
    {1600, IN_BAND_FLASH "failed to write the flash memory."},
    {1601, IN_BAND_FLASH "failed to verify the flash memory after writing."},
    {1602, IN_BAND_FLASH "failed to read the flash memory."},
    {1603, IN_BAND_FLASH "the flash memory is write-protected."},
    {1604, IN_BAND_FLASH "the flash memory size doesn't match the firmware image."},
    {1605, IN_BAND_FLASH "failed to back up the current firmware."},
    {1606, IN_BAND_FLASH "failed to restore the firmware backup."},
    {1607, IN_BAND_FLASH "failed to switch to the backup firmware bank."},
    {1608, IN_BAND_FLASH "failed to preserve the firmware settings."},
    {1609, IN_BAND_FLASH "failed to lock the flash device."},
    {1610, IN_BAND_FLASH "failed to unlock the flash device."},
    {1611, IN_BAND_FLASH "failed to communicate with the BMC over KCS."},
    {1612, IN_BAND_FLASH "failed to communicate with the BMC over LAN-over-USB."},
    {1613, IN_BAND_FLASH "the BMC refused the flash request."},
    {1614, IN_BAND_FLASH "the BMC stopped responding during flashing."},
    {1615, IN_BAND_FLASH "failed to transfer the firmware image to the BMC."},
    {1616, IN_BAND_FLASH "not enough memory to load the firmware image."},
    {1617, IN_BAND_FLASH "not enough disk space for temporary files."},
    {1618, IN_BAND_FLASH "failed to create the temporary folder."},
    {1619, IN_BAND_FLASH "the flash operation timed out."},
    {1620, IN_BAND_FLASH "the flash operation was interrupted."},
    {1621, IN_BAND_FLASH "a restart pending from a previous flash must be completed first."},
    {1622, IN_BAND_FLASH "the adapter was not found in the system."},
    {1623, IN_BAND_FLASH "the adapter firmware is in recovery mode."},
    {1624, IN_BAND_FLASH "the device doesn't support in-band update."},
    {1625, IN_BAND_FLASH "the secure boot policy blocked the flash driver."},
    {1626, IN_BAND_FLASH "invalid command-line option for the flash utility."},
    {1627, IN_BAND_FLASH "the flash utility exited with an unexpected return code."},
    {1628, IN_BAND_FLASH "failed to write the flash utility log file."},
    {1629, catalogue::ERR_UPDATE_DOWNGRADE_FORBIDDEN},
    // 0x06: updates through the chassis management module and network switches.
    {1631, "Failed to update due to CMM firmware level doesn't support remote update."},
    {1632, kCmmCimConnect},
    {1633, kCmmInternal},
    {1634, catalogue::ERR_UPDATE_NOT_EFFECTIVE},
    {1635, "Failed to update due to network switch is not reachable from CMM."},
    {1636, "Failed to update due to network switch doesn't support this package."},
    {1637, kCmmInternal},
    {1638, kCmmInternal},
    {1639, kInstallTimeout},
    {1640, kCmmInternal},
    {1641, "Failed to authenticate to CMM CIM service."},
    {1642, "Failed to update due to the target node is not present in the chassis."},
    {1643, kCmmInternal},
    {1644, kCmmInternal},
    {1645, "Failed to flash network switch firmware through CMM."},
    {1646, kCmmInternal},
    {1647, kInstallTimeout},
    {1648, kCmmInternal},
    {1649, kUpdateInProgress},
    {1650, kCmmInternal},
    {1651, kCmmInternal},
    {1652, kCmmInternal},
    {1653, kCmmInternal},
    {1654, kCmmInternal},
    {1655, kCmmInternal},
    {1656, kCmmInternal},
    {1657, kCmmInternal},
    {1658, kCmmInternal},
    // 0x06: updates through the BMC with packages on an SFTP server, out-of-band flash.
    {1660, "Failed to transfer update package to sftp server"},
    {1661, kNoRemoteUpdate},
    {1662, "Failed to connect to sftp server."},
    {1663, "Failed to authenticate to sftp server."},
    {1664, "Failed to update due to BMC can't reach the sftp server."},
    {1665, "Failed to update due to the folder on the sftp server doesn't exist."},
    {1666, catalogue::ERR_NO_APPLICABLE_COMPONENT},
    {1667, kBmcInternal},
    {1668, kUpdateInProgress},
    {1669, "Failed to update due to BMC doesn't support out-of-band update of this package."},
    {1670, OOB_FLASH "failed to push the update package to BMC."},
    {1671, OOB_FLASH "BMC rejected the update package."},
    {1672, OOB_FLASH "BMC failed to flash the target component."},
    {1673, OOB_FLASH "BMC didn't report the flash result in time."},
    {1674, kSftpMandatory},
    {1675, kSftpMandatory},
    {1676, kBmcInternal},
    // 0x06: power-supply update conditions, the BMC and the ESXi CIM service.
    {1696, "Failed to update due to power supply is not present."},
    {1697, "Failed to update due to power supplies are not redundant."},
    {1698, "Failed to update due to power supply input is lost."},
    {1699, "Failed to update due to power supply is in fault state."},
    {1700, "Failed to update due to only one power supply is installed."},
    {1701, "Failed to update due to system power capping is enabled."},
    {1702, "Failed to update due to power supply model doesn't match the package."},
    {1703, "Failed to update due to system must be powered off to update power supply."},
    {1704, catalogue::ERR_UPDATE_BMC_STORAGE_SPACE},
    {1705, "Failed to update due to BMC is not ready."},
    {1706, "Failed to update due to BMC firmware level is too low."},
    {1707, "Failed to update due to BMC REST interface is not available."},
    {1708, "Failed to upload update package to BMC."},
    {1709, "Failed to update due to BMC user has insufficient privilege."},
    {1710, "Failed to update due to BMC is in recovery mode."},
    {1711, "Failed to update due to target component is not present."},
    {1712, "Failed to update due to BMC rejected the package signature."},
    {1713, "Failed to update due to BMC is restarting."},
    {1714, kBmcInternal},
    {1715, kBmcInternal},
    {1716, kBmcInternal},
    {1717, kBmcInternal},
    {1718, kBmcInternal},
    {1719, kBmcInternal},
    {1720, "Failed to connect to ESXi CIM service."},
    {1721, "Failed to authenticate to ESXi CIM service."},
    {1722, kEsxiCimNotReady},
    {1723, kEsxiCimNotReady},
    {1724, "Failed to update due to ESXi  service not ready."},
    {1725, kBmcInternal},
    {1726, "Failed to update due to ESXi CIM provider is not installed."},
    // 0x06: the maintenance-mode operating system for bare-metal updates.
    {1728, "Maintenance Mode OS image is not found."},
    {1729, catalogue::ERR_UPDATE_MAINTENANCE_OS_BOOT},
    {1730, kMaintenanceOsConnect},
    {1731, "Failed to mount update package folder in Maintenance Mode OS."},
    {1732, kMaintenanceOsConnect},
    {1733, "Failed to upload update package to Maintenance Mode OS."},
    {1734, "Failed to run update in Maintenance Mode OS."},
    {1735, "Timeout happens when booting to Maintenance Mode OS."},
    {1736, "Maintenance Mode OS doesn't support the target system."},
    {1737, "Failed to get update result from Maintenance Mode OS."},
    {1738, catalogue::ERR_UPDATE_MAINTENANCE_OS_MOUNT},
    {1739, "Failed to unmount Maintenance Mode OS image."},
    {1740, "Failed to restore the boot order after Maintenance Mode OS."},
    {1741, "BMC virtual media is in use by another session."},
    {1742, "Failed to configure network of Maintenance Mode OS."},
    // 0x06: inventory.
    {1744, kDriverInfo},
    {1745, kDriverInfo},
    {1746, "Failed to detect machine type and serial number."},
    {1747, "Failed to detect firmware information."},
    // 0x06: power control.
    {1761, kNoRemoteUpdate},
    {1762, catalogue::ERR_REBOOT_HOST},
    {1763, "Failed to power off host system."},
    // 0x06: update progress.
    {1776, "Failed to get update progress."},
    {1777, kBmcInternal},
    {1778, "Update task is not found on BMC."},
    {1779, "Update task failed on BMC."},
    {1780, "Update task was cancelled."},
    {1781, "Timeout happens when waiting for update to complete."},

    // 0x08: activation keys and the key management website.
    {2049, "Invalid key ID."},
    {2050, "Activation key file is not found."},
    {2051, "Invalid activation key file."},
    {2052, "Invalid machine type."},
    {2053, "Invalid serial number."},
    {2054, "No active key found on the target system."},
    {2055, "Failed to connect to the key management website."},
    {2056, "Authentication to the key management website failed."},
    {2057, "The selected interface is not supported for key management."},
    {2058, "Invalid proxy settings."},
    {2059, "The key management website returned a failure."},
    {2060, "The active key already exists on the key management website."},
    {2061, kNetworkError},
    {2062, kNetworkError},
    {2063, "The authorization code is not valid on the key management website."},
    {2064, "The authorization code has already been used."},
    {2065, "Failed to generate activation key on the key management website."},

    // 0x0B: the LAN-over-USB device; the catalogue's category 10 backwards.
    {2817, catalogue::ERR_LAN_OVER_USB_INVALID_IP},
    {2818, catalogue::ERR_LAN_OVER_USB_SEGMENT_CONFLICT},
    {2819, catalogue::ERR_LAN_OVER_USB_ENABLED},
    {2820, catalogue::ERR_LAN_OVER_USB_DEVICE_DISABLED},
    {2821, catalogue::ERR_LAN_OVER_USB_DEVICE_CONFLICT},
    {2823, catalogue::ERR_LAN_OVER_USB_NO_DEVICE},
    {2824, catalogue::ERR_LAN_OVER_USB_NODE_RANGE},
    {2825, catalogue::ERR_LAN_OVER_USB_CHANGE_STATUS},
    {2826, catalogue::ERR_LAN_OVER_USB_NO_DRIVER},
    {2827, catalogue::ERR_LAN_OVER_USB_NON_ADMIN},

    // 0x0C: system management module and power-supply update over TFTP.
    {3073, "Failed to initialize SMM update."},
    {3074, "Failed to upload update package to TFTP server."},
    {3075, "SMM failed to pull update package from TFTP server."},
    {3076, "Failed to update due to SMM internal error."},
    {3077, "Failed to reboot SMM after update."},
    {3078, "Failed to connect to SMM."},
    {3079, "Invalid power supply selection."},
    {3081, "Failed to update power supply due to power redundancy is lost."},
    {3082, "Update package is not compatible with the power supply."},
    {3083, "Another update task is running on SMM."},
    {3084, "Invalid slot number."},
    {3085, "Update package is different from the package on the TFTP server."},
    {3086, "Failed to update power supply."},
};

#undef IN_BAND_FLASH
#undef OOB_FLASH

// Constructed empty during load; filled by the first lookup only.
std::map<int32_t, std::string> legacy_table;
std::once_flag legacy_fill;

void FillLegacyTable() {
  for (const LegacyEntry& entry : kLegacyEntries) legacy_table[entry.code] = entry.message;
}

}  // namespace

const std::map<int32_t, std::string>& GetLegacyErrorTable() { return legacy_table; }

std::string GetLegacyErrorMessage(int32_t code) {
  // call_once rather than an emptiness test: concurrent first lookups must
  // neither fill the table twice nor read it half filled.
  std::call_once(legacy_fill, FillLegacyTable);
  auto it = legacy_table.find(code);
  return it == legacy_table.end() ? kUnknownLegacyCode : it->second;
}
