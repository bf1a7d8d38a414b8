window.appScriptRan = true;
