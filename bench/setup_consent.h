// Who agreed that a lead's EEPROM may be written. `upgrade --yes` alone agrees to the upgrade,
// never to rewriting a bridge's EEPROM: a factory-fresh meter lead and somebody's USB-serial
// adapter look the same.
#pragma once

namespace pxr7 {

// The person said so already (`setup --yes`, `--setup`), is asked (a terminal to answer on),
// or did not agree (nothing is written).
enum class SetupConsent { Given, Ask, None };

// An upgrade's consent: --setup gives it; without --yes a person at a terminal is asked.
constexpr SetupConsent upgradeSetupConsent(bool setupFlag, bool assumeYes, bool canAsk) {
    return setupFlag              ? SetupConsent::Given
           : !assumeYes && canAsk ? SetupConsent::Ask
                                  : SetupConsent::None;
}

// `pxr7 setup`'s consent: --yes gives it, else the person is asked.
constexpr SetupConsent setupCommandConsent(bool assumeYes) {
    return assumeYes ? SetupConsent::Given : SetupConsent::Ask;
}

} // namespace pxr7
