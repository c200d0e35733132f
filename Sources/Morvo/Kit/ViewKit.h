#pragma once
// The view kit: the small views and button styles every screen shares, one header per kind
// (Buttons, Cards, Texts, Windows), all included here. Everything paints with the theme's
// colours at paint time (see Theme.h), so it follows the appearance without extra code.
//
//   auto* add = new KitButton(std::make_shared<QuietButtonStyle>());
//   add->addSymbol("tray.and.arrow.down").addText("Add to cleanup").addSpacer();
//   auto* card = new Panel(16);  card->contentLayout()->addWidget(...);
//   auto* eyebrow = new SectionEyebrow("Logical size");
//   auto* reveal = new ActionButton("Reveal in Finder", "arrow.up.forward.app", [] { ... });
//
// Accessibility: objectName carries the identifier, accessibleName the label,
// accessibleDescription the hint, toolTip the help text.

#include "Morvo/Kit/Buttons.h"
#include "Morvo/Kit/Cards.h"
#include "Morvo/Kit/Texts.h"
#include "Morvo/Kit/Windows.h"
