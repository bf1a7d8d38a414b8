// The popup: the open agent's name and the two requests for the current page.
"use strict";

const api = globalThis.browser ?? globalThis.chrome;
const agent = document.getElementById("agent");
const message = document.getElementById("message");
const buttons = [document.getElementById("add"), document.getElementById("offline")];

function show(answer) {
  if (answer?.type === "status") {
    agent.textContent = answer.running === "true" ? (answer.agent || "none") : "Harvion is not running";
  }
  message.classList.toggle("error", answer?.type === "error");
  message.textContent = answer?.type === "error" ? answer.message : "";
}

async function ask(command, done) {
  // Disabled buttons lose the focus: it goes back where it was.
  const focused = document.activeElement;
  buttons.forEach((b) => { b.disabled = true; });
  try {
    const answer = await api.runtime.sendMessage({command});
    show(answer);
    if (answer?.type === "status" && done) message.textContent = done;
  } catch (e) {
    show({type: "error", message: String(e.message || e)});
  } finally {
    buttons.forEach((b) => { b.disabled = false; });
    focused?.focus();
  }
}

buttons[0].addEventListener("click", () => ask("add", "Added to the agent."));
buttons[1].addEventListener("click", () => ask("offline", "Opening the stored copy…"));
buttons[0].focus();
ask("status");
