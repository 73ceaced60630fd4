// Sends links to Vardelo through its native messaging host: a link's context
// menu item sends that link, the toolbar button sends the page's address.
"use strict";

const HOST = "io.github.vardelo.vardelo";
const MENU_ID = "vardelo-send-link";

chrome.runtime.onInstalled.addListener(() => {
  chrome.contextMenus.create({
    id: MENU_ID,
    title: "Letöltés a Vardelóval",
    contexts: ["link"],
    // Vardelo takes only web addresses; mailto: and the like get no item.
    targetUrlPatterns: ["http://*/*", "https://*/*"],
  });
});

// The answer shows on the toolbar button: its badge and its title.
function show(tabId, ok, text) {
  chrome.action.setBadgeBackgroundColor({ color: ok ? "#2a8a2a" : "#c0392b", tabId });
  chrome.action.setBadgeText({ text: ok ? "✓" : "!", tabId });
  chrome.action.setTitle({ title: text, tabId });
}

function send(link, tabId) {
  if (!/^https?:\/\//i.test(link || "")) {
    show(tabId, false, "Csak http vagy https link küldhető a Vardelónak.");
    return;
  }
  chrome.runtime.sendNativeMessage(HOST, { links: [link] }, (answer) => {
    if (chrome.runtime.lastError || !answer) {
      const reason = chrome.runtime.lastError ? chrome.runtime.lastError.message : "";
      show(tabId, false, "A Vardelo nem érhető el. " + reason);
    } else if (answer.ok) {
      // A link whose other form is queued already is not queued again.
      const present = Array.isArray(answer.alreadyQueued) ? answer.alreadyQueued : [];
      show(tabId, true, present.length > 0 ? "A link már a listában van: " + present[0]
                                           : "A Vardelo átvette: " + link);
    } else {
      show(tabId, false, answer.error);
    }
  });
}

chrome.contextMenus.onClicked.addListener((info, tab) => {
  if (info.menuItemId === MENU_ID)
    send(info.linkUrl, tab ? tab.id : undefined);
});

chrome.action.onClicked.addListener((tab) => send(tab.url, tab.id));
